#pragma once
// A scoped timer: start and stop accumulate wall-clock seconds; the destructor logs
// name + " elapsed time: " + seconds + "s".
#include "classic/framework/log.h"

#include <cstdint>
#include <string>

namespace AlgorithmFramework {

class Profiler {
public:
    Profiler(Log& log, std::string name);
    virtual ~Profiler();

    Profiler(const Profiler&) = delete;
    Profiler& operator=(const Profiler&) = delete;

    void start();
    void stop();

private:
    Log* log_;
    std::string name_;
    std::int64_t start_time_ = 0; // nanoseconds of the system clock
    std::int64_t stop_time_ = 0;
    double elapsed_ = 0; // seconds
};

} // namespace AlgorithmFramework
