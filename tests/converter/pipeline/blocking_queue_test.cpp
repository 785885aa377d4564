// The hand-off between the lanes' threads: order, the weight bound, and the two ways of ending
// it while a producer and a consumer wait on other threads. Every wait is guarded, so that a
// hang fails instead of stalling. Also run under ThreadSanitizer.
#include "converter/pipeline/blocking_queue.h"

#include "tests/support/time_limit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using test_support::within_time_limit;

// Takes items until the queue says that none will follow.
std::vector<int> drain(BlockingQueue<int>& queue)
{
    std::vector<int> taken;
    for (int item; queue.pop(item);)
        taken.push_back(item);
    return taken;
}

TEST(BlockingQueue, HandsOutInOrderAndWaitsForRoomByWeight)
{
    BlockingQueue<int> queue;
    ASSERT_TRUE(queue.push(1, 3));
    ASSERT_TRUE(queue.push(2, 2));
    EXPECT_EQ(queue.weight(), 5u);
    // A producer waiting for the weight to fall to 2 goes on once both are taken.
    auto room = std::async(std::launch::async, [&] { return queue.wait_at_most(2); });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(room.wait_for(0s), std::future_status::timeout);
    int item = 0;
    ASSERT_TRUE(queue.pop(item));
    EXPECT_EQ(item, 1);
    EXPECT_TRUE(within_time_limit(room, "queue"));
    ASSERT_TRUE(queue.pop(item));
    EXPECT_EQ(item, 2);
    EXPECT_EQ(queue.weight(), 0u);
}

TEST(BlockingQueue, CloseLetsTheConsumerDrainWhileCancelDropsTheRest)
{
    struct Case {
        bool cancel;
        std::vector<int> taken;
    } cases[] = {{false, {1, 2, 3}}, {true, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cancel ? "cancel" : "close");
        BlockingQueue<int> queue;
        for (int item : {1, 2, 3})
            ASSERT_TRUE(queue.push(item));
        // A producer waiting for room and a consumer waiting for an item both return.
        auto room = std::async(std::launch::async, [&] { return queue.wait_at_most(0); });
        std::this_thread::sleep_for(20ms);
        c.cancel ? queue.cancel() : queue.close();
        EXPECT_FALSE(within_time_limit(room, "queue"));
        EXPECT_FALSE(queue.push(4));
        auto taken = std::async(std::launch::async, [&] { return drain(queue); });
        EXPECT_EQ(within_time_limit(taken, "queue"), c.taken);
    }
}

TEST(BlockingQueue, ConsumerWaitingOnAnEmptyQueueEndsAtClose)
{
    BlockingQueue<std::unique_ptr<int>> queue;
    auto consumer = std::async(std::launch::async, [&] {
        std::vector<int> taken;
        for (std::unique_ptr<int> item; queue.pop(item);)
            taken.push_back(*item);
        return taken;
    });
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(queue.push(std::make_unique<int>(i)));
    queue.close();
    const std::vector<int> taken = within_time_limit(consumer, "queue");
    ASSERT_EQ(taken.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(taken[static_cast<std::size_t>(i)], i);
}

} // namespace
