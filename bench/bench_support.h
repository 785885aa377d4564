#pragma once
// Small helpers shared by the benchmarks: wall-clock timing, rates, scratch paths.
#include <chrono>
#include <cstdint>
#include <filesystem>
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

} // namespace bench
