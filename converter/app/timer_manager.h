#pragma once
// Wall-time totals of the processing stages over the whole run, logged as a table at the end.
// Every call is made on the main thread; there is no lock.
//
// Usage:
//   timers.start(TimerName::Find_controls);
//   ... stage ...
//   double seconds = timers.stop(TimerName::Find_controls);
//   timers.print(); // one INFO line per timer that was stopped at least once
#include <array>
#include <cstdint>
#include <utility>

enum class TimerName : int {
    Time = 0,
    Wait_to_read = 1,
    Pack_sequence = 2,
    Spot_validation = 3,
    Find_controls = 4,
    Find_adapters = 5,
    Find_samples = 6,
    Gather_metrics = 7,
    Format_fastq = 8,
    Compress_fastq = 9,
    Wait_to_write = 10,
    Tile_processing = 11,
    Lane_processing = 12,
};

class TimerManager {
public:
    TimerManager() = default;

    // Remembers the time now as the timer's start.
    void start(TimerName t);
    // Adds the seconds since the timer's last start to its total, counts one stop and
    // returns those seconds. Stopping twice after one start adds both spans.
    double stop(TimerName t);
    // Zeroes the timer's total and count (its start time stays).
    void reset(TimerName t);
    // Zeroes the totals and counts of all slots.
    void reset();
    // Logs "<name padded to 16>: total:   <s> average: <s>" at INFO.
    void print(TimerName t) const;
    // Prints every slot, in order, that was stopped at least once.
    void print() const;

    // The names of the timers, indexed by their number.
    static const std::array<std::pair<TimerName, const char*>, 13> timer_spec_;

protected:
    // Adds one measured span to the timer's total and count.
    void add_time(TimerName t, double seconds);

private:
    static constexpr int Num_timers = 20; // slots; only the first 13 have names

    struct Slot {
        std::int64_t start_ns = 0; // monotonic clock, nanoseconds
        double total = 0.0;        // seconds
        std::uint64_t count = 0;   // stops
    };
    // The slot of a timer number, or null outside the table.
    Slot* slot(TimerName t);
    const Slot* slot(TimerName t) const;

    std::array<Slot, Num_timers> slots_{};
};
