#include "converter/app/timer_manager.h"

#include "converter/app/logger.h"

#include <chrono>
#include <iomanip>
#include <sstream>

namespace {

// Durations come from the monotonic clock, so a step of the wall clock cannot make them
// negative or huge.
std::int64_t now_ns()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

const std::array<std::pair<TimerName, const char*>, 13> TimerManager::timer_spec_ = {{
    {TimerName::Time, "Time"},
    {TimerName::Wait_to_read, "Wait to read"},
    {TimerName::Pack_sequence, "Pack sequence"},
    {TimerName::Spot_validation, "Spot validation"},
    {TimerName::Find_controls, "Find controls"},
    {TimerName::Find_adapters, "Find adapters"},
    {TimerName::Find_samples, "Find samples"},
    {TimerName::Gather_metrics, "Gather metrics"},
    {TimerName::Format_fastq, "Format fastq"},
    {TimerName::Compress_fastq, "Compress fastq"},
    {TimerName::Wait_to_write, "Wait to write"},
    {TimerName::Tile_processing, "Tile processing"},
    {TimerName::Lane_processing, "Lane processing"},
}};

TimerManager::Slot* TimerManager::slot(TimerName t)
{
    const int index = static_cast<int>(t);
    return index >= 0 && index < Num_timers ? &slots_[static_cast<std::size_t>(index)] : nullptr;
}

const TimerManager::Slot* TimerManager::slot(TimerName t) const
{
    const int index = static_cast<int>(t);
    return index >= 0 && index < Num_timers ? &slots_[static_cast<std::size_t>(index)] : nullptr;
}

void TimerManager::start(TimerName t)
{
    if (Slot* s = slot(t))
        s->start_ns = now_ns();
}

double TimerManager::stop(TimerName t)
{
    const Slot* s = slot(t);
    if (!s)
        return 0.0;
    const double seconds = static_cast<double>(now_ns() - s->start_ns) / 1e9;
    add_time(t, seconds);
    return seconds;
}

void TimerManager::add_time(TimerName t, double seconds)
{
    if (Slot* s = slot(t)) {
        s->total += seconds;
        ++s->count;
    }
}

void TimerManager::reset(TimerName t)
{
    if (Slot* s = slot(t)) {
        s->total = 0.0;
        s->count = 0;
    }
}

void TimerManager::reset()
{
    for (int t = 0; t < Num_timers; ++t)
        reset(static_cast<TimerName>(t));
}

void TimerManager::print(TimerName t) const
{
    const Slot* s = slot(t);
    if (!s)
        return;
    const auto index = static_cast<std::size_t>(t);
    const char* name = index < timer_spec_.size() ? timer_spec_[index].second : "";

    double total = s->total;
    if (total < 0.01)
        total = 0.0;
    const double divisor = s->count == 0 ? 1.0 : static_cast<double>(s->count);

    std::ostringstream line;
    line << std::left << std::setw(16) << name << ":"
         << " total:   " << std::fixed << std::setprecision(2) << total << " average: " << total / divisor;
    log_info() << line.str();
}

void TimerManager::print() const
{
    for (int t = 0; t < Num_timers; ++t)
        if (slots_[static_cast<std::size_t>(t)].count != 0)
            print(static_cast<TimerName>(t));
}
