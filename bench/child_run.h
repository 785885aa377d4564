#pragma once
// Helpers of the conversion benchmarks: running a built program as a child process with its
// wall time and peak memory, and reading back the FASTQ text it wrote.
#include "bench/bench_support.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace fs = std::filesystem;

struct ChildRun {
    int status = -1;      // exit status, -1 when the child did not exit normally
    double seconds = 0;   // wall time from start to end
    long peak_rss_kib = 0;
};

// Runs the program with its output in log; the wall time and peak memory come from wait4.
inline ChildRun run_child(const std::vector<std::string>& args, const fs::path& log)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot start " + args[0]);
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, STDOUT_FILENO);
            dup2(fd, STDERR_FILENO);
            close(fd);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        throw std::runtime_error("lost the child process");
    ChildRun run;
    run.seconds = seconds_since(start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peak_rss_kib = usage.ru_maxrss;
    return run;
}

// The inflated text of every FASTQ file in the folder, in name order.
inline std::string inflate_outputs(const fs::path& folder, int& files, std::uint64_t& disk_bytes)
{
    std::vector<fs::path> paths;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().ends_with(".fastq.gz"))
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::string text;
    files = static_cast<int>(paths.size());
    disk_bytes = 0;
    std::vector<char> chunk(std::size_t(1) << 20);
    for (const fs::path& path : paths) {
        disk_bytes += fs::file_size(path);
        gzFile file = gzopen(path.c_str(), "rb");
        if (file == nullptr)
            throw std::runtime_error("cannot open " + path.string());
        gzbuffer(file, 1 << 20);
        int count = 0;
        while ((count = gzread(file, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0)
            text.append(chunk.data(), static_cast<std::size_t>(count));
        gzclose(file);
        if (count < 0)
            throw std::runtime_error("cannot inflate " + path.string());
    }
    return text;
}

} // namespace bench
