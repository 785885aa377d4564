#pragma once
// Small helpers shared by the benchmarks: wall-clock timing, rates, scratch paths.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double megabytes_per_second(std::uint64_t bytes, double seconds)
{
    return double(bytes) / 1e6 / seconds;
}

// A scratch file or folder, removed however the run ends.
struct ScratchPath {
    std::filesystem::path path;
    ~ScratchPath()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// Reads "--name value" pairs, each value a whole number of at least 1, and hands them to
// set(name, value), which returns false for a name it does not know.
template <typename Set>
void parse_options(int argc, char** argv, Set set)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc)
            throw std::invalid_argument("missing value for " + name);
        const long long value = std::stoll(argv[++i]);
        if (value < 1)
            throw std::invalid_argument(name + " must be at least 1");
        if (!set(name, value))
            throw std::invalid_argument("unknown option " + name);
    }
}

// The body of a benchmark's main: runs it, and prints an error as "<name>: <text>" with
// status 1.
template <typename Run>
int run_main(const char* name, Run&& run)
{
    try {
        return run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", name, error.what());
        return 1;
    }
}

} // namespace bench
