#include "converter/analysis/cigar.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Builds a cigar from its text form, e.g. "3M1I6M".
Cigar parse(const std::string& text)
{
    Cigar cigar;
    int length = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            length = length * 10 + (c - '0');
            continue;
        }
        const int op = static_cast<int>(std::string("MIDNX").find(c));
        cigar.elements.push_back(Cigar::element(op, length));
        length = 0;
    }
    return cigar;
}

TEST(Cigar, EndMismatchesCountBasesBeforeTheFirstSevenMatches)
{
    const std::vector<std::pair<std::string, int>> left = {{"2X10M", 2},  {"3M1X10M", 4}, {"20M", 0},
                                                           {"", 0},       {"3M2D10M", 3}, {"1X3M1I3N2X", 10},
                                                           {"6M1X7M", 7}, {"4M3N", 0}};
    for (const auto& [text, expected] : left)
        EXPECT_EQ(parse(text).get_left_mismatches(), expected) << text;

    const std::vector<std::pair<std::string, int>> right = {{"10M2X", 2}, {"10M1X3M", 4}, {"10M2D3M", 3}, {"20M", 0}};
    for (const auto& [text, expected] : right)
        EXPECT_EQ(parse(text).get_right_mismatches(), expected) << text;
}

TEST(Cigar, TrimRightKeepsTheFirstQueryBases)
{
    const std::vector<std::pair<std::pair<std::string, int>, std::string>> cases = {
        {{"3M1I6M", 5}, "3M1I1M"}, {{"3M1I6M", 0}, ""},   {{"3M1I6M", 20}, "3M1I6M"},
        {{"3M2D4M", 4}, "3M1D1M"}, {{"3M2D4M", 3}, "3M"}, {{"5M", -1}, ""}};
    for (const auto& [input, expected] : cases) {
        Cigar cigar = parse(input.first);
        cigar.trim_right(input.second);
        EXPECT_EQ(cigar.get_string(), expected) << input.first << " trim " << input.second;
    }
}

TEST(Cigar, MatchInfoCoversTheFirstPositions)
{
    int matches = 0;
    int consumed = 0;
    parse("3M1X2N4M").get_match_info(8, matches, consumed);
    EXPECT_EQ(matches, 5);
    EXPECT_EQ(consumed, 6);
}

TEST(Cigar, ClearKeepsCapacity)
{
    Cigar cigar = parse("10M1X140M");
    const auto capacity = cigar.elements.capacity();
    cigar.clear();
    EXPECT_TRUE(cigar.empty());
    EXPECT_EQ(cigar.elements.capacity(), capacity);
}

} // namespace
