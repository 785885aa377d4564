#include "common/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(ThreadPool, RejectsFewerThanOneThread)
{
    for (int threads : {0, -1, INT_MIN}) {
        try {
            Corvex::ThreadPool pool(threads);
            ADD_FAILURE() << "no error for " << threads << " threads";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Invalid argument to initializer.");
        }
    }
}

TEST(ThreadPool, ResultsComeThroughFutures)
{
    Corvex::ThreadPool pool(4);
    std::vector<std::future<long>> squares;
    for (long i = 0; i < 200; ++i)
        squares.push_back(pool.enqueue([i] { return i * i; }));
    auto owned = std::make_unique<std::string>("moved in");
    std::future<std::string> text = pool.enqueue([p = std::move(owned)] { return *p; });
    std::future<void> nothing = pool.enqueue([] {});

    for (long i = 0; i < 200; ++i)
        EXPECT_EQ(squares[static_cast<std::size_t>(i)].get(), i * i);
    EXPECT_EQ(text.get(), "moved in");
    nothing.get();
}

TEST(ThreadPool, ExceptionsComeThroughFutures)
{
    Corvex::ThreadPool pool(2);
    std::future<int> failing = pool.enqueue([]() -> int { throw std::logic_error("job failed"); });
    std::future<int> fine = pool.enqueue([] { return 7; });
    try {
        failing.get();
        ADD_FAILURE() << "no exception";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "job failed");
    }
    // A failed job does not take its worker down.
    EXPECT_EQ(fine.get(), 7);
    EXPECT_EQ(pool.enqueue([] { return 8; }).get(), 8);
}

TEST(ThreadPool, RunsJobsOnAllWorkersAtOnce)
{
    constexpr int Threads = 4;
    Corvex::ThreadPool pool(Threads);
    std::mutex mutex;
    std::condition_variable arrived;
    int waiting = 0;
    std::vector<std::future<bool>> met;
    for (int i = 0; i < Threads; ++i)
        met.push_back(pool.enqueue([&] {
            std::unique_lock lock(mutex);
            ++waiting;
            arrived.notify_all();
            return arrived.wait_for(lock, 10s, [&] { return waiting == Threads; });
        }));
    for (std::future<bool>& all_there : met)
        EXPECT_TRUE(all_there.get());
}

TEST(ThreadPool, DestructionRunsQueuedJobs)
{
    std::atomic<int> done = 0;
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::thread opener;
    {
        Corvex::ThreadPool pool(1);
        // The one worker is held up, so the jobs below are still queued when the pool goes.
        pool.enqueue([opened] { opened.wait(); });
        for (int i = 0; i < 50; ++i)
            pool.enqueue([&done] { ++done; });
        opener = std::thread([&gate] {
            std::this_thread::sleep_for(20ms);
            gate.set_value();
        });
    }
    opener.join();
    EXPECT_EQ(done.load(), 50);
}

TEST(ThreadPool, RefusesJobsOnceStopped)
{
    std::optional<std::string> refusal;
    {
        Corvex::ThreadPool pool(1);
        // Keeps queueing until the destructor, which waits for this job, stops the pool.
        pool.enqueue([&pool, &refusal] {
            const auto give_up = std::chrono::steady_clock::now() + 10s;
            while (std::chrono::steady_clock::now() < give_up) {
                try {
                    pool.enqueue([] {});
                } catch (const std::runtime_error& error) {
                    refusal = error.what();
                    return;
                }
                std::this_thread::sleep_for(1ms);
            }
        });
    }
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(*refusal, "Can't enqueue on a stopped ThreadPool");
}
