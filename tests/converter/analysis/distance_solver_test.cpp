#include "converter/analysis/distance_solver.h"

#include "tests/support/log_capture.h"
#include "tests/support/text_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using test_support::stdout_of;

TEST(DistanceSolver, BandedLcsLength)
{
    DistanceSolver solver;
    const TwoBitSeq a("ACGTACGTAC");
    const TwoBitSeq b("ACGAACGTAC");
    EXPECT_EQ(solver.LCS_len(a, 0, 10, b, 0, 10), 9);
    EXPECT_EQ(solver.LCS_len(a, 2, 4, b, 2, 4), 3); // GTAC / GAAC
    EXPECT_EQ(solver.LCS_len(a, 0, 0, b, 0, 10), 0);
    EXPECT_EQ(solver.LCS_len(a, 0, 10, b, 0, -1), 0);
}

TEST(DistanceSolver, LcsCountsMismatchesAfterTheFirstMatch)
{
    DistanceSolver solver;
    std::vector<int> storage(5, 0);
    int* counts = storage.data();
    // A previous edit distance leaves its borders in the table; LCS writes its own.
    solver.levenshtein_traceback(TwoBitSeq("ACGTC"), 0, 5, TwoBitSeq("AGT"), 0, 3, counts);
    std::fill(storage.begin(), storage.end(), 0);

    int result = 0;
    const TwoBitSeq a("ACGTC");
    const TwoBitSeq b("AGT");
    const std::string out = stdout_of([&] { result = solver.LCS(a, 0, 5, b, 0, 3, counts); });
    EXPECT_EQ(result, 3);
    EXPECT_EQ(out, "A-GT-\nACGTC\n");
    EXPECT_EQ(storage, (std::vector<int>{0, 1, 0, 0, 0})); // the final C comes before any match
}

TEST(DistanceSolver, EditDistanceCountsMismatchesAwayFromTheEnd)
{
    test_support::LogCapture log;
    Logger::min_level_ = DEBUG;
    DistanceSolver solver;
    std::vector<int> storage(10, 0);
    int* counts = storage.data();
    const TwoBitSeq a("ACGTACGTAC");
    EXPECT_EQ(solver.levenshtein_traceback(a, 0, 10, TwoBitSeq("ACGAACGTAC"), 0, 10, counts), 1);
    EXPECT_EQ(storage[4], 1); // row 4 counts at position 4
    EXPECT_EQ(solver.levenshtein_traceback(a, 0, 10, TwoBitSeq("ACGTACGTAA"), 0, 10, counts), 1);
    EXPECT_EQ(solver.levenshtein_traceback(a, 1, 3, TwoBitSeq("CT"), 0, 2, counts), 1);
    EXPECT_EQ(storage[3], 1);                                    // row 2 of a slice from 1
    EXPECT_EQ(std::count(storage.begin(), storage.end(), 0), 8); // position 10: near the end

    const auto lines = log.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "[DEBUG] Edit distance table:");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "[DEBUG] Edit distance alignment:"), lines.end());

    solver.levenshtein_traceback(TwoBitSeq("A"), 0, 1, TwoBitSeq("A"), 0, 1, counts);
    EXPECT_EQ(solver.print_graph("-A", "-A"), "    -   A   \n-   0   1   \nA   1   0   \n");
}

TEST(DistanceSolver, RefusesSlicesOutsideTheSequencesOrTheTable)
{
    DistanceSolver solver;
    std::vector<int> storage(300, 0);
    int* counts = storage.data();
    int* none = nullptr;
    const TwoBitSeq four("ACGT");
    const TwoBitSeq long_seq(std::string(300, 'A'));
    EXPECT_THROW(solver.LCS_len(four, 1, 4, four, 0, 4), std::out_of_range);
    EXPECT_THROW(solver.LCS_len(four, -1, 2, four, 0, 4), std::invalid_argument);
    EXPECT_THROW(solver.LCS(four, 0, 4, four, 2, 3, counts), std::out_of_range);
    EXPECT_THROW(solver.LCS(four, 0, -1, four, 0, 4, counts), std::invalid_argument);
    EXPECT_THROW(solver.LCS(long_seq, 0, 300, four, 0, 4, counts), std::out_of_range);
    EXPECT_THROW(solver.LCS(four, 0, 4, four, 0, 4, none), std::invalid_argument);
    EXPECT_THROW(solver.levenshtein_traceback(four, 0, 4, long_seq, 0, 300, counts), std::out_of_range);
    EXPECT_THROW(solver.levenshtein_traceback(four, 0, 4, four, 0, 4, none), std::invalid_argument);
    EXPECT_EQ(solver.LCS_len(long_seq, 0, 300, long_seq, 0, 300), 300); // no table used
    try {
        solver.levenshtein_traceback(four, 1, 4, four, 0, 4, counts);
        ADD_FAILURE() << "slice past the first sequence accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "index is out of bounds for cycle 4");
    }
    EXPECT_THROW(solver.print_graph(std::string(301, 'A'), "A"), std::out_of_range);
}

} // namespace
