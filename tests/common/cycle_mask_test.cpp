// The cycle-mask language of the design sheet: grammar, results and messages.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "common/cycle_mask.h"
#include "common/quillon_settings.h"

namespace {

using Strings = std::vector<std::string>;

struct GoodMask {
    std::string mask;
    CycleMask expected;
};

class CycleMaskAccepted : public ::testing::TestWithParam<GoodMask> {};

TEST_P(CycleMaskAccepted, Parses)
{
    Strings errors;
    const CycleMask m = QuillonSettings::read_cycle_mask(GetParam().mask, errors);
    EXPECT_TRUE(errors.empty()) << GetParam().mask << ": " << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(m, GetParam().expected) << GetParam().mask << " -> {" << m.track << ", " << m.skip_before << ", " << m.use
                                      << ", " << m.skip_after << "}";
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, CycleMaskAccepted,
    ::testing::Values(GoodMask{"", {0, 0, 0, 0}}, GoodMask{"T1:Y151", {1, 0, 151, 0}},
                      GoodMask{"t2 : n 8 y *", {2, 8, -1, 0}}, GoodMask{"T3:N*Y8N2", {3, -1, 8, 2}},
                      // Every accepted shape of the table.
                      GoodMask{"T1:N5", {1, 5, 0, 0}}, GoodMask{"T1:N*", {1, -1, 0, 0}},
                      GoodMask{"T1:Y7", {1, 0, 7, 0}}, GoodMask{"T1:Y*", {1, 0, -1, 0}},
                      GoodMask{"T2:N3Y4", {2, 3, 4, 0}}, GoodMask{"T2:N3Y*", {2, 3, -1, 0}},
                      GoodMask{"T2:N*Y4", {2, -1, 4, 0}}, GoodMask{"T2:Y4N5", {2, 0, 4, 5}},
                      GoodMask{"T2:Y4N*", {2, 0, 4, -1}}, GoodMask{"T2:Y*N5", {2, 0, -1, 5}},
                      GoodMask{"T4:N1Y2N3", {4, 1, 2, 3}}, GoodMask{"T4:N1Y*N3", {4, 1, -1, 3}},
                      GoodMask{"T4:N1Y2N*", {4, 1, 2, -1}}, GoodMask{"T4:N*Y2N3", {4, -1, 2, 3}},
                      // Blanks before tokens, leading zeros, lower case, the largest int.
                      GoodMask{" \tT 1 :\tY 0010", {1, 0, 10, 0}}, GoodMask{"t1:y5n6", {1, 0, 5, 6}},
                      GoodMask{"T1:Y2147483647", {1, 0, 2147483647, 0}}, GoodMask{"T01:Y1", {1, 0, 1, 0}}));

struct BadMask {
    std::string mask;
    std::string message; // after "Involving '<mask>'; "
};

class CycleMaskRejected : public ::testing::TestWithParam<BadMask> {};

TEST_P(CycleMaskRejected, ReportsExactlyOneMessage)
{
    Strings errors = {"earlier"};
    EXPECT_NO_THROW(QuillonSettings::read_cycle_mask(GetParam().mask, errors));
    EXPECT_EQ(errors, (Strings{"earlier", "Involving '" + GetParam().mask + "'; " + GetParam().message}));
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, CycleMaskRejected,
    ::testing::Values(
        BadMask{"T5:Y10", "track number must be 1-4"}, BadMask{"T0:Y10", "track number must be 1-4"},
        BadMask{"T1Y10", "':' expected after track number"}, BadMask{"T1", "':' expected after track number"},
        BadMask{"T1:", "Unsupported specification"}, BadMask{"T1:Y10Y5", "Unsupported specification"},
        BadMask{"T1:Y*N*", "Unsupported specification"}, BadMask{"T1:N1N2", "Unsupported specification"},
        BadMask{"T1:Y1N2Y3", "Unsupported specification"}, BadMask{"T1:N*Y*N1", "Unsupported specification"},
        BadMask{"T1:Y0", "cycle count must be > 0"}, BadMask{"T1:N1Y2N3Y4", "position: (10); 'Y' unexpected"},
        BadMask{"T1:N1Y2N3  x", "position: (12); 'x' unexpected"}, BadMask{"X1:Y5", "expecting 'T'"},
        BadMask{" ", "expecting 'T'"}, BadMask{"T:Y5", "expecting integer track number"},
        BadMask{"T-1:Y5", "expecting integer track number"}, BadMask{"T1:X5", "'Y' or 'N' expected"},
        BadMask{"T1:Y5:", "'Y' or 'N' expected"}, BadMask{"T1:Y", "integer cycle count or '*' expected"},
        BadMask{"T1:Y-5", "integer cycle count or '*' expected"}, BadMask{"T1:Y**", "'Y' or 'N' expected"},
        // A '+' ends the groups and is reported at its position (reading A-3).
        BadMask{"T1:Y8+N2", "position: (6); '+' unexpected"}, BadMask{"T1:+Y8", "position: (4); '+' unexpected"},
        BadMask{"T1:N2Y8 + N2", "position: (9); '+' unexpected"},
        BadMask{"T1:N1Y2N3+", "position: (10); '+' unexpected"},
        // Integers too large for an int: one mask error (mended fault).
        BadMask{"T99999999999:Y5", "integer value too large"}, BadMask{"T2147483648:Y5", "integer value too large"},
        BadMask{"T1:Y2147483648", "integer value too large"},
        BadMask{"T1:N99999999999999999999999999Y5", "integer value too large"},
        BadMask{"T1:N5Y*N18446744073709551621", "integer value too large"}));

TEST(CycleMaskParse, ParseCharAndParseInteger)
{
    const std::string text = "  a 12b";
    std::size_t pos = 0;
    EXPECT_EQ(QuillonSettings::parse_char(text, pos, true), 'a');
    EXPECT_EQ(pos, 2u); // blanks skipped, the character not stepped over
    EXPECT_EQ(QuillonSettings::parse_char(text, pos, false), 'a');
    EXPECT_EQ(pos, 3u);
    EXPECT_EQ(QuillonSettings::parse_integer(text, pos), 12);
    EXPECT_EQ(pos, 6u);
    EXPECT_EQ(QuillonSettings::parse_integer(text, pos), 0); // no digit: 0, position unchanged
    EXPECT_EQ(pos, 6u);
    EXPECT_EQ(QuillonSettings::parse_char(text, pos, false), 'b');
    EXPECT_EQ(QuillonSettings::parse_char(text, pos, true), 0);
    EXPECT_EQ(pos, text.size());
    EXPECT_EQ(QuillonSettings::parse_char(text, pos, false), 0);
    EXPECT_EQ(pos, text.size() + 1);                             // one past the end
    EXPECT_EQ(QuillonSettings::parse_char(text, pos, false), 0); // and safe to call again
    EXPECT_EQ(QuillonSettings::parse_integer(text, pos), 0);

    bool too_large = false;
    const std::string big = "123456789012";
    pos = 0;
    EXPECT_EQ(QuillonSettings::parse_integer(big, pos, &too_large), INT_MAX);
    EXPECT_TRUE(too_large);
    EXPECT_EQ(pos, big.size()); // the whole run of digits is consumed
}

TEST(CycleMaskParse, NonAsciiBytesAreOrdinaryUnexpectedCharacters)
{
    Strings errors;
    QuillonSettings::read_cycle_mask("\xC3\xA9", errors);
    QuillonSettings::read_cycle_mask("T1:Y5\xFF", errors);
    EXPECT_EQ(errors, (Strings{"Involving '\xC3\xA9'; expecting 'T'", "Involving 'T1:Y5\xFF'; 'Y' or 'N' expected"}));
}

} // namespace
