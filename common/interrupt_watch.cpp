#include "common/interrupt_watch.h"

#include <csignal>
#include <utility>

#include <pthread.h>
#include <signal.h>

InterruptWatch::InterruptWatch(std::function<void(const char* signal_name)> handler)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    waiter_ = std::thread([this, set, handler = std::move(handler)] {
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        if (!stopping_)
            handler(signal == SIGINT ? "SIGINT" : "SIGTERM");
    });
}

InterruptWatch::~InterruptWatch()
{
    stopping_ = true;
    pthread_kill(waiter_.native_handle(), SIGTERM);
    waiter_.join();
}
