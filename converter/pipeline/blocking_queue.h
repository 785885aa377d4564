#pragma once
// A first-in first-out hand-off between threads, bounded by weight. Producers add items
// (each with a weight, 1 by default) without blocking and wait, when they choose to, while
// the queue weighs more than a bound; consumers take items in order and wait while the queue
// is empty. close() ends the hand-off in order: nothing more is added, and consumers take
// what is left, then get nothing. cancel() ends it at once: what is left is dropped and
// consumers get nothing more. Either wakes every waiting thread.
//
//   BlockingQueue<Job> queue;
//   producer: if (!queue.push(job, weight)) ...closed...; queue.wait_at_most(bound);
//   consumer: for (Job job; queue.pop(job);) ...;
//   queue.close();
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

template <typename T>
class BlockingQueue {
public:
    // Appends the item; false (and the item not taken) once the queue is closed.
    bool push(T item, std::size_t weight = 1)
    {
        {
            std::lock_guard lock(mutex_);
            if (closed_)
                return false;
            items_.push_back({std::move(item), weight});
            weight_ += weight;
        }
        not_empty_.notify_one();
        return true;
    }

    // Waits while the queue weighs more than bound; false once the queue is closed.
    bool wait_at_most(std::size_t bound)
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] {
            const bool done = closed_ || weight_ <= bound;
            refusals_ += done ? 0 : 1;
            return done;
        });
        return !closed_;
    }

    // Takes the next item, waiting while there is none; false when the queue was cancelled,
    // or closed and emptied.
    bool pop(T& item)
    {
        {
            std::unique_lock lock(mutex_);
            not_empty_.wait(lock, [&] { return closed_ || !items_.empty(); });
            if (cancelled_ || items_.empty())
                return false;
            item = std::move(items_.front().item);
            weight_ -= items_.front().weight;
            items_.pop_front();
        }
        room_.notify_all();
        return true;
    }

    // No further items; what is queued is still handed out.
    void close()
    {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        not_empty_.notify_all();
        room_.notify_all();
    }

    // No further items, and what is queued is dropped.
    void cancel()
    {
        std::deque<Entry> dropped; // destroyed outside the lock
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            cancelled_ = true;
            dropped.swap(items_);
            weight_ = 0;
        }
        not_empty_.notify_all();
        room_.notify_all();
    }

    std::size_t size() const
    {
        std::lock_guard lock(mutex_);
        return items_.size();
    }

    std::size_t weight() const
    {
        std::lock_guard lock(mutex_);
        return weight_;
    }

    bool closed() const
    {
        std::lock_guard lock(mutex_);
        return closed_;
    }

    // How many times a producer in wait_at_most has looked at the queue and found it too
    // heavy: once as it begins to wait, and again each time it is woken and must wait on.
    std::size_t refusals() const
    {
        std::lock_guard lock(mutex_);
        return refusals_;
    }

private:
    struct Entry {
        T item;
        std::size_t weight;
    };

    mutable std::mutex mutex_;
    std::condition_variable not_empty_; // an item came, or the queue was closed
    std::condition_variable room_;      // an item was taken, or the queue was closed
    std::deque<Entry> items_;
    std::size_t weight_ = 0;
    bool closed_ = false;
    bool cancelled_ = false;
    std::size_t refusals_ = 0;
};
