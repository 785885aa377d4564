#pragma once
// Threads whose bodies never let an exception escape: each body's exception is kept, the group
// joins every thread it started (also when it is destroyed while an exception unwinds), and
// join rethrows the exception of the earliest started thread that had one.
//   ThreadGroup tiles;
//   tiles.start([&] { work(1); });
//   tiles.start([&] { work(2); });
//   tiles.join(); // both joined, then the first exception, if any, goes on
#include <exception>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

class ThreadGroup {
public:
    ThreadGroup() = default;
    ~ThreadGroup() { join_all(); }

    ThreadGroup(const ThreadGroup&) = delete;
    ThreadGroup& operator=(const ThreadGroup&) = delete;

    template <typename Body>
    void start(Body body)
    {
        slots_.push_back(std::make_unique<Slot>());
        Slot* slot = slots_.back().get();
        slot->thread = std::thread([slot, body = std::move(body)]() mutable {
            try {
                body();
            } catch (...) {
                slot->error = std::current_exception();
            }
        });
    }

    std::size_t size() const { return slots_.size(); }

    // Joins every thread, forgets them, then rethrows the first kept exception.
    void join()
    {
        join_all();
        std::exception_ptr first;
        for (const auto& slot : slots_)
            if (slot->error && !first)
                first = slot->error;
        slots_.clear();
        if (first)
            std::rethrow_exception(first);
    }

private:
    struct Slot {
        std::thread thread;
        std::exception_ptr error;
    };

    void join_all()
    {
        for (const auto& slot : slots_)
            if (slot->thread.joinable())
                slot->thread.join();
    }

    std::vector<std::unique_ptr<Slot>> slots_;
};
