#include "converter/app/logger.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Installs a logger writing into a string stream for the duration of a test.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logger_ = std::make_shared<Logger>();
        logger_->add_stream(out_);
        Logger::default_logger_ = logger_;
        Logger::min_level_ = INFO;
    }
    void TearDown() override
    {
        Logger::default_logger_.reset();
        Logger::min_level_ = INFO;
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> result;
        std::istringstream in(out_.str());
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }

    std::ostringstream out_;
    std::shared_ptr<Logger> logger_;
};

TEST_F(LoggerTest, LineCarriesTimeWithMillisecondsThreadAndLevel)
{
    log_warn() << "disk " << 3 << " is slow";
    const auto written = lines();
    ASSERT_EQ(written.size(), 1u);
    // "YYYY-mm-dd HH:MM:SS,mmm [tid] [WARN] text": digits where the template has 'd'.
    const std::string& line = written[0];
    const std::string stamp = "dddd-dd-dd dd:dd:dd,ddd [";
    ASSERT_GT(line.size(), stamp.size());
    for (std::size_t i = 0; i < stamp.size(); ++i)
        EXPECT_TRUE(stamp[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0 : line[i] == stamp[i])
            << line;
    const std::size_t close = line.find("] ", stamp.size());
    ASSERT_NE(close, std::string::npos);
    for (std::size_t i = stamp.size(); i < close; ++i)
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[i]))) << line;
    EXPECT_EQ(line.substr(close), "] [WARN] disk 3 is slow");
}

TEST_F(LoggerTest, LevelsBelowTheMinimumAreDropped)
{
    log_debug() << "hidden";
    log_info() << "shown";
    Logger::min_level_ = DEBUG;
    log_debug() << "now shown";
    Logger::min_level_ = ERROR;
    log_warn() << "hidden too";
    log_error() << "error";
    const auto written = lines();
    ASSERT_EQ(written.size(), 3u);
    EXPECT_NE(written[0].find("[INFO] shown"), std::string::npos);
    EXPECT_NE(written[1].find("[DEBUG] now shown"), std::string::npos);
    EXPECT_NE(written[2].find("[ERROR] error"), std::string::npos);
}

TEST_F(LoggerTest, TemplateMessageHonoursTheMinimumLevel)
{
    LogMessage<DEBUG> hidden(false);
    hidden << "dropped";
    *logger_ << hidden;
    LogMessage<INFO> message(true);
    message << "kept";
    *logger_ << message;
    const auto written = lines();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NE(written[0].find("[INFO] kept"), std::string::npos);
}

TEST_F(LoggerTest, NothingIsWrittenWithoutALogger)
{
    Logger::default_logger_.reset();
    log_error() << "lost";
    log_flush();
    EXPECT_TRUE(out_.str().empty());
}

TEST_F(LoggerTest, LinesOfConcurrentThreadsNeverMix)
{
    const std::string text(200, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                log_info() << text;
        });
    for (auto& thread : threads)
        thread.join();
    const auto written = lines();
    ASSERT_EQ(written.size(), 1600u);
    for (const auto& line : written)
        ASSERT_EQ(line.substr(line.size() - text.size()), text);
}

TEST(LoggerPrefix, UtcAndLocalTimeDifferOnlyByTheZone)
{
    // Both stamps have the same shape; with TZ unset they agree.
    const std::string utc = log_line_prefix(INFO, true);
    const std::string local = log_line_prefix(INFO, false);
    EXPECT_EQ(utc.size(), local.size());
    EXPECT_EQ(utc.substr(19, 1), ",");
}

} // namespace
