#pragma once
// A fixed set of worker threads taking jobs from one first-in first-out queue. Each job
// yields a future for its result (or its exception). Destroying the pool runs every job
// still queued, then joins the workers.
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace Corvex {

class ThreadPool {
public:
    // Starts the workers; fewer than one throws std::runtime_error.
    explicit ThreadPool(int threads)
    {
        if (threads < 1)
            throw std::runtime_error("Invalid argument to initializer.");
        workers_.reserve(static_cast<std::size_t>(threads));
        try {
            for (int i = 0; i < threads; ++i)
                workers_.emplace_back([this] { work(); });
        } catch (...) {
            stop_and_join();
            throw;
        }
    }

    ~ThreadPool() { stop_and_join(); }

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Queues a callable without arguments. Throws std::runtime_error once the pool is
    // being destroyed (only a running job can still reach the pool then).
    template <class F>
    auto enqueue(F&& job) -> std::future<std::invoke_result_t<std::decay_t<F>&>>
    {
        using Result = std::invoke_result_t<std::decay_t<F>&>;
        auto task = std::make_shared<std::packaged_task<Result()>>(std::forward<F>(job));
        std::future<Result> result = task->get_future();
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                throw std::runtime_error("Can't enqueue on a stopped ThreadPool");
            jobs_.emplace_back([task] { (*task)(); });
        }
        wake_.notify_one();
        return result;
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
                if (jobs_.empty())
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    void stop_and_join()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
        workers_.clear();
    }

    std::vector<std::thread> workers_;
    std::deque<std::function<void()>> jobs_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

} // namespace Corvex
