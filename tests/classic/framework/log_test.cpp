#include "classic/framework/af_exception.h"
#include "classic/framework/log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_lines.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using AlgorithmFramework::Log;

std::string file_text(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ClassicLog, LinesCarryUtcTimeThreadLevelAndTab)
{
    test_support::TempDir dir;
    const std::string path = (dir.path() / "a" / "b" / "quillon.log").string();
    {
        Log log;
        log.open(path, false);
        std::stringstream with_end, without_end, empty, several;
        with_end << "ends\n";
        without_end << "no end";
        several << "first\nsecond";
        log.status(with_end);
        log.warning(without_end);
        log.error(empty);
        log.status(several);
        EXPECT_EQ(without_end.str(), "no end\n"); // the caller's stream keeps the added line end
        EXPECT_EQ(log.errors, 1);
        EXPECT_EQ(log.warnings, 1);
    }
    const auto lines = test_support::lines_of(file_text(path));
    // "dddd-dd-dd dd:dd:dd,ddd [" with digits where the template has 'd'.
    auto has_prefix = [](const std::string& line) {
        const std::string stamp = "dddd-dd-dd dd:dd:dd,ddd [";
        if (line.size() < stamp.size())
            return false;
        for (std::size_t i = 0; i < stamp.size(); ++i) {
            if (stamp[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != stamp[i])
                return false;
        }
        return line.find("] [INFO] \t") != std::string::npos || line.find("] [WARN] \t") != std::string::npos ||
               line.find("] [ERROR] \t") != std::string::npos;
    };
    const std::vector<std::string> texts = {"ends", "no end", "", "first", "second", "Run complete",
                                            "1 warnings", "1 errors", "0 exceptions"};
    ASSERT_EQ(lines.size(), texts.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == 4) { // a text of several lines gets the prefix only before its first line
            EXPECT_EQ(lines[i], "second");
            continue;
        }
        EXPECT_TRUE(has_prefix(lines[i])) << lines[i];
        EXPECT_EQ(lines[i].substr(lines[i].find('\t') + 1), texts[i]);
    }
    EXPECT_NE(lines[1].find("[WARN]"), std::string::npos);
    EXPECT_NE(lines[2].find("[ERROR]"), std::string::npos);
}

TEST(ClassicLog, ExceptionCountsAnErrorAndCarriesTheWholeText)
{
    Log log;
    std::stringstream message;
    message << "Cannot open input file x";
    try {
        log.exception(message);
        FAIL() << "no exception";
    } catch (const AlgorithmFramework::AFException& e) {
        EXPECT_STREQ(e.what(), "Cannot open input file x\n");
    }
    EXPECT_EQ(log.errors, 1);
    EXPECT_EQ(log.exceptions, 0);
}

TEST(ClassicLog, CountsAreExactUnderConcurrentCalls)
{
    test_support::TempDir dir;
    const std::string path = (dir.path() / "quillon.log").string();
    constexpr int threads = 8;
    constexpr int per_thread = 500;
    {
        Log log;
        log.open(path, true);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&log] {
                for (int i = 0; i < per_thread; ++i) {
                    std::stringstream error, warning;
                    error << "error line";
                    warning << "warning line";
                    log.error(error);
                    log.warning(warning);
                }
            });
        }
        for (auto& worker : workers)
            worker.join();
        EXPECT_EQ(log.errors, threads * per_thread);
        EXPECT_EQ(log.warnings, threads * per_thread);
    }
    // Whole lines only: every line is one of the two texts or a summary line.
    int error_lines = 0;
    for (const std::string& line : test_support::lines_of(file_text(path))) {
        const std::string text = line.substr(line.find('\t') + 1);
        error_lines += text == "error line";
        EXPECT_TRUE(text == "error line" || text == "warning line" || text == "Run complete" ||
                    text.find(" warnings") != std::string::npos || text.find(" errors") != std::string::npos ||
                    text.find(" exceptions") != std::string::npos)
            << line;
    }
    EXPECT_EQ(error_lines, threads * per_thread);
}

} // namespace
