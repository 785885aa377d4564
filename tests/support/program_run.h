#pragma once
// Runs a built program with arguments and collects its exit status, standard output and
// standard error, for end-to-end tests.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

struct ProgramRun {
    int status = -1; // exit status as the shell sees it (0..255), -1 when not exited normally
    std::string out;
    std::string err;

    bool has_line_containing(const std::string& text) const { return out.find(text) != std::string::npos; }
};

inline std::string shell_quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string read_whole_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs program with args; the output files are written in scratch.
inline ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                              const std::filesystem::path& scratch)
{
    const auto out = scratch / "stdout.txt";
    const auto err = scratch / "stderr.txt";
    std::string command = shell_quoted(program);
    for (const std::string& arg : args)
        command += " " + shell_quoted(arg);
    command += " >" + shell_quoted(out.string()) + " 2>" + shell_quoted(err.string()) + " </dev/null";
    const int raw = std::system(command.c_str());
    ProgramRun run;
    if (raw != -1 && WIFEXITED(raw))
        run.status = WEXITSTATUS(raw);
    run.out = read_whole_file(out);
    run.err = read_whole_file(err);
    return run;
}

// A program started in the background, its standard output and error going to files.
struct StartedProgram {
    pid_t pid = -1;
    std::filesystem::path out;
    std::filesystem::path err;

    std::string output() const { return read_whole_file(out); }
};

inline StartedProgram start_program(const std::string& program, const std::vector<std::string>& args,
                                    const std::filesystem::path& scratch)
{
    StartedProgram started;
    started.out = scratch / "stdout.txt";
    started.err = scratch / "stderr.txt";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, started.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, started.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&started.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        started.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return started;
}

// Waits for the program; status as the shell sees it: the exit status, or 128 + the number of
// the signal that ended it. With a limit, a program still running after limit_seconds is
// killed (status 128 + SIGKILL).
inline ProgramRun wait_for(const StartedProgram& started, int limit_seconds = 0)
{
    ProgramRun run;
    int raw = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
    pid_t ended = 0;
    while (started.pid > 0 && (ended = waitpid(started.pid, &raw, limit_seconds > 0 ? WNOHANG : 0)) == 0) {
        if (std::chrono::steady_clock::now() > deadline)
            kill(started.pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (started.pid > 0 && ended == started.pid)
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
    run.out = read_whole_file(started.out);
    run.err = read_whole_file(started.err);
    return run;
}

} // namespace test_support
