#pragma once
// Helpers of the conversion benchmarks: running a built program as a child process with its
// wall time and peak memory, and reading back the FASTQ text it wrote.
#include "bench/bench_support.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace fs = std::filesystem;

// Resident memory of a running child at one moment.
struct MemorySample {
    double seconds = 0; // since the child started
    long rss_kib = 0;
};

struct ChildRun {
    int status = -1;    // exit status, -1 when the child did not exit normally
    double seconds = 0; // wall time from start to end
    long peak_rss_kib = 0;
    double cpu_seconds = 0;           // user and system time of the child
    long involuntary_switches = 0;    // times the kernel took a processor from a runnable thread
    std::vector<MemorySample> memory; // with a sampling interval: resident memory over time
};

// The resident memory of a process now, from /proc; 0 when it cannot be read.
inline long resident_kib(pid_t pid)
{
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (status == nullptr)
        return 0;
    long kib = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1)
            break;
    std::fclose(status);
    return kib;
}

// Runs the program with its output in log; the wall time, processor time and peak memory
// come from wait4. With a sampling interval above 0 the resident memory is also read that
// often while the program runs.
inline ChildRun run_child(const std::vector<std::string>& args, const fs::path& log, double sample_seconds = 0)
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
    ChildRun run;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t ended = wait4(pid, &status, sample_seconds > 0 ? WNOHANG : 0, &usage);
        if (ended == pid)
            break;
        if (ended != 0)
            throw std::runtime_error("lost the child process");
        const long kib = resident_kib(pid);
        if (kib > 0)
            run.memory.push_back({seconds_since(start), kib});
        std::this_thread::sleep_for(std::chrono::duration<double>(sample_seconds));
    }
    run.seconds = seconds_since(start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peak_rss_kib = usage.ru_maxrss;
    run.cpu_seconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.involuntary_switches = usage.ru_nivcsw;
    return run;
}

// The inflated text of every FASTQ file in the folder, in name order; with a stride above 1
// only every stride-th piece of 1 MiB of each file is kept, as a sample of the text.
// text_bytes counts all of it.
inline std::string inflate_outputs(const fs::path& folder, int& files, std::uint64_t& disk_bytes,
                                   std::uint64_t& text_bytes, int stride = 1)
{
    std::vector<fs::path> paths;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().ends_with(".fastq.gz"))
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::string text;
    files = static_cast<int>(paths.size());
    disk_bytes = 0;
    text_bytes = 0;
    std::vector<char> chunk(std::size_t(1) << 20);
    for (const fs::path& path : paths) {
        disk_bytes += fs::file_size(path);
        gzFile file = gzopen(path.c_str(), "rb");
        if (file == nullptr)
            throw std::runtime_error("cannot open " + path.string());
        gzbuffer(file, 1 << 20);
        int count = 0;
        for (int piece = 0; (count = gzread(file, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0; ++piece) {
            text_bytes += static_cast<std::uint64_t>(count);
            if (piece % stride == 0)
                text.append(chunk.data(), static_cast<std::size_t>(count));
        }
        gzclose(file);
        if (count < 0)
            throw std::runtime_error("cannot inflate " + path.string());
    }
    return text;
}

inline std::string inflate_outputs(const fs::path& folder, int& files, std::uint64_t& disk_bytes)
{
    std::uint64_t text_bytes = 0;
    return inflate_outputs(folder, files, disk_bytes, text_bytes);
}

} // namespace bench
