#pragma once
// Turns SIGINT and SIGTERM into an orderly end of a run: a thread of its own waits for them
// and calls the handler with the signal's name ("SIGINT" or "SIGTERM"); the handler ends the
// process, after logging and removing unfinished files. The signals are blocked in the
// constructing thread, so build the object in main before any other thread starts: every
// thread inherits the mask and only the waiting thread takes the signals.
//   InterruptWatch watch([](const char* name) { ...; std::_Exit(1); });
#include <atomic>
#include <functional>
#include <thread>

class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void(const char* signal_name)> handler);
    // Stops the waiting thread; a signal that comes afterwards stays pending until exit.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    std::atomic<bool> stopping_{false};
    std::thread waiter_;
};
