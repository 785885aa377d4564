#pragma once
// Waits with a time limit, so that a hang fails a test instead of stalling it. A wait that
// cannot be abandoned (a thread that does not return) ends the test program with a message.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

namespace test_support {

inline constexpr std::chrono::seconds Time_limit{30};

// The value of the future, or the end of the test program when it does not come in time;
// what names the part of the system that was waited for.
template <typename T>
T within_time_limit(std::future<T>& result, const std::string& what)
{
    if (result.wait_for(Time_limit) != std::future_status::ready) {
        std::fprintf(stderr, "The %s did not answer within the time limit\n", what.c_str());
        std::abort();
    }
    return result.get();
}

// Runs f on another thread and returns what it returns, or ends the test program when it has
// not returned in time.
template <typename F>
auto within_time_limit(F f, const std::string& what)
{
    auto result = std::async(std::launch::async, std::move(f));
    return within_time_limit(result, what);
}

// Looks at condition every millisecond until it holds; false when it did not within limit.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = Time_limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace test_support
