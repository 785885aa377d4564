#include "converter/app/signal_watch.h"

#include "converter/app/run_abort.h"

#include <atomic>
#include <csignal>
#include <string>

#include <pthread.h>
#include <signal.h>

namespace {

std::atomic<bool> stopping{false};

sigset_t watched_signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

SignalWatch::SignalWatch()
{
    const sigset_t set = watched_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    waiter_ = std::thread([set] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        if (stopping)
            return;
        abort_run(std::string("Interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                  ": the run is stopped and its unfinished FASTQ files are removed");
    });
}

SignalWatch::~SignalWatch()
{
    stopping = true;
    pthread_kill(waiter_.native_handle(), SIGTERM);
    waiter_.join();
}
