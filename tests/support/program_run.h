#pragma once
// Runs a built program with arguments and collects its exit status, standard output and
// standard error, for end-to-end tests.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace test_support {

struct ProgramRun {
    int status = -1; // exit status as the shell sees it (0..255), -1 when not exited normally
    std::string out;
    std::string err;

    bool has_line_containing(const std::string& text) const
    {
        return out.find(text) != std::string::npos;
    }
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

} // namespace test_support
