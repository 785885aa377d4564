#pragma once
// Turns SIGINT and SIGTERM into an orderly end of the run: a thread of its own waits for them
// and ends the run with abort_run (an ERROR naming the signal, the log flushed, unfinished
// output files removed, status 255). The signals are blocked in the constructing thread, so
// build the object first in main, before any other thread starts: every thread inherits the
// mask and only the waiting thread takes the signals.
#include <thread>

class SignalWatch {
public:
    SignalWatch();
    // Stops the waiting thread; a signal that comes afterwards stays pending until exit.
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

private:
    std::thread waiter_;
};
