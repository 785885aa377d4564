// Stage timers and their table lines.
#include "converter/app/timer_manager.h"

#include "converter/app/logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Feeds measured spans without waiting for them.
class FedTimers : public TimerManager {
public:
    using TimerManager::add_time;
};

class TimerManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logger_ = std::make_shared<Logger>();
        logger_->add_stream(out_);
        Logger::default_logger_ = logger_;
    }
    void TearDown() override { Logger::default_logger_.reset(); }

    // The messages of the logged lines, without their prefixes.
    std::vector<std::string> messages() const
    {
        std::vector<std::string> result;
        std::istringstream in(out_.str());
        for (std::string line; std::getline(in, line);) {
            const std::size_t at = line.find("[INFO] ");
            result.push_back(at == std::string::npos ? line : line.substr(at + 7));
        }
        return result;
    }

    std::ostringstream out_;
    std::shared_ptr<Logger> logger_;
    FedTimers timers_;
};

TEST_F(TimerManagerTest, LineShowsTotalAndAverageWithTwoDecimals)
{
    struct Case {
        TimerName timer;
        std::vector<double> spans;
        std::string line;
    };
    const std::vector<Case> cases = {
        {TimerName::Find_controls, {2.5, 2.5, 2.5}, "Find controls   : total:   7.50 average: 2.50"},
        {TimerName::Find_controls, {0.001, 0.001, 0.002}, "Find controls   : total:   0.00 average: 0.00"},
        {TimerName::Lane_processing, {1234.5}, "Lane processing : total:   1234.50 average: 1234.50"},
        {TimerName::Time, {0.02, 0.0}, "Time            : total:   0.02 average: 0.01"},
        {TimerName::Wait_to_read, {}, "Wait to read    : total:   0.00 average: 0.00"},
    };
    for (const Case& c : cases) {
        out_.str("");
        timers_.reset();
        for (const double seconds : c.spans)
            timers_.add_time(c.timer, seconds);
        timers_.print(c.timer);
        EXPECT_EQ(messages(), std::vector<std::string>{c.line});
    }
}

TEST_F(TimerManagerTest, TableListsOnlyStoppedTimersInOrder)
{
    timers_.add_time(TimerName::Find_samples, 1.0);
    timers_.add_time(TimerName::Wait_to_read, 0.5);
    timers_.add_time(TimerName::Gather_metrics, 3.0);
    timers_.reset(TimerName::Gather_metrics);
    timers_.print();
    EXPECT_EQ(messages(), (std::vector<std::string>{"Wait to read    : total:   0.50 average: 0.50",
                                                    "Find samples    : total:   1.00 average: 1.00"}));
    out_.str("");
    timers_.reset();
    timers_.print();
    EXPECT_TRUE(messages().empty());
}

TEST_F(TimerManagerTest, StoppingTwiceAddsBothSpansSinceTheStart)
{
    timers_.start(TimerName::Tile_processing);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const double first = timers_.stop(TimerName::Tile_processing);
    const double second = timers_.stop(TimerName::Tile_processing);
    EXPECT_GE(first, 0.03);
    EXPECT_GE(second, first);

    timers_.print(TimerName::Tile_processing);
    const std::vector<std::string> lines = messages();
    ASSERT_EQ(lines.size(), 1u);
    double total = 0.0;
    double average = 0.0;
    const char* format = "Tile processing : total:   %lf average: %lf";
    ASSERT_EQ(std::sscanf(lines[0].c_str(), format, &total, &average), 2) << lines[0];
    EXPECT_NEAR(total, first + second, 0.006);
    EXPECT_NEAR(average, (first + second) / 2, 0.006);
}

} // namespace
