// The classic framework's blackboard and log.
#include "classic/framework/af_exception.h"
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_lines.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

namespace {

using AlgorithmFramework::Blackboard;
using AlgorithmFramework::Log;
using AlgorithmFramework::Parameters;

TEST(ClassicBlackboard, StoresReplacesChecksTypesAndReportsLeaks)
{
    Log log;
    {
        Blackboard board(log);
        Parameters* first = board.write<Parameters>("parameters");
        (*first)["--input"] = "run";
        EXPECT_EQ(board.read<Parameters>("parameters"), first);
        std::string value;
        board.getParameter("--input", value);
        EXPECT_EQ(value, "run");
        EXPECT_THROW(board.getParameter("--output", value), AlgorithmFramework::AFException);
        EXPECT_EQ(log.errors, 1);

        // A second write of the same type gives a new, empty object.
        EXPECT_TRUE(board.write<Parameters>("parameters")->empty());
        // Another type under the key: an error and std::bad_typeid, for every access.
        EXPECT_THROW(board.write<std::vector<int>>("parameters"), std::bad_typeid);
        EXPECT_THROW(board.read<std::vector<int>>("parameters"), std::bad_typeid);
        EXPECT_THROW(board.erase<std::vector<int>>("parameters"), std::bad_typeid);
        EXPECT_EQ(log.errors, 4);
        board.erase<Parameters>("absent");
        board.write<std::vector<int>>("left");
        board.erase<Parameters>("parameters");
    } // "left" is still stored: one leak error
    EXPECT_EQ(log.errors, 5);
}

// Lines from many threads: exact counts, and every line whole, one line end each, with its UTC
// time ("dddd-dd-dd dd:dd:dd,ddd [" with digits for 'd'), thread, level and tab.
TEST(ClassicLog, CountsAndLinesStayExactUnderConcurrentCalls)
{
    test_support::TempDir dir;
    const auto path = dir.path() / "a" / "quillon.log";
    constexpr int threads = 8;
    constexpr int per_thread = 500;
    {
        Log log;
        log.open(path.string(), true);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&log] {
                for (int i = 0; i < per_thread; ++i) {
                    std::stringstream error, warning;
                    error << "error line";
                    warning << "warning line\n";
                    log.error(error);
                    log.warning(warning);
                }
            });
        }
        for (auto& worker : workers)
            worker.join();
    }
    const std::string stamp = "dddd-dd-dd dd:dd:dd,ddd [";
    std::map<std::string, int> texts;
    for (const std::string& line : test_support::lines_of(test_support::read_whole_file(path))) {
        bool stamped = line.size() > stamp.size();
        for (std::size_t i = 0; stamped && i < stamp.size(); ++i)
            stamped = stamp[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0 : line[i] == stamp[i];
        const std::string text = line.substr(line.find('\t') + 1);
        const char* level = text == "error line"     ? "] [ERROR] \t"
                            : text == "warning line" ? "] [WARN] \t"
                                                     : "] [INFO] \t";
        EXPECT_TRUE(stamped && line.find(level) != std::string::npos) << line;
        ++texts[text];
    }
    EXPECT_EQ(texts, (std::map<std::string, int>{{"error line", 4000},
                                                 {"warning line", 4000},
                                                 {"Run complete", 1},
                                                 {"4000 warnings", 1},
                                                 {"4000 errors", 1},
                                                 {"0 exceptions", 1}}));
}

} // namespace
