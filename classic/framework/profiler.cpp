#include "classic/framework/profiler.h"

#include <chrono>
#include <sstream>
#include <utility>

namespace AlgorithmFramework {

namespace {

std::int64_t now_nanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

Profiler::Profiler(Log& log, std::string name) : log_(&log), name_(std::move(name)), start_time_(now_nanoseconds()) {}

Profiler::~Profiler()
{
    std::stringstream message;
    message << name_ << " elapsed time: " << elapsed_ << "s" << '\n';
    log_->status(message);
}

void Profiler::start()
{
    start_time_ = now_nanoseconds();
}

void Profiler::stop()
{
    stop_time_ = now_nanoseconds();
    elapsed_ += static_cast<double>(stop_time_ - start_time_) / 1'000'000'000.0;
}

} // namespace AlgorithmFramework
