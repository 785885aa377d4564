// The bit-vector edit distance against the table fill it stands in for, and a set of
// patterns against each of them alone.
#include "converter/analysis/levenshtein_pattern.h"
#include "converter/analysis/levenshtein_pattern_set.h"
#include "converter/analysis/matcher_table.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

int table_distance(const std::string& a, const std::string& b)
{
    MatcherTable<std::uint16_t> table(200, 200);
    table.populate_levenshtein(a.data(), b.data(), static_cast<std::uint32_t>(a.size()),
                               static_cast<std::uint32_t>(b.size()), MatcherTable<std::uint16_t>::Global);
    return table.get_distance(static_cast<std::uint32_t>(a.size()), static_cast<std::uint32_t>(b.size()));
}

std::string random_text(std::mt19937& rng, std::size_t length, const std::string& letters)
{
    std::string text(length, 'A');
    for (char& c : text)
        c = letters[rng() % letters.size()];
    return text;
}

TEST(LevenshteinPatternTest, EqualsTheTableOnRandomTexts)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 4000; ++round) {
        // Small alphabets and close lengths give many near matches; 'x' and 'N' take the slow
        // and the fast letter lookups.
        const std::string letters = round % 3 == 0 ? "ACGTNx" : "AC";
        const std::size_t length = round % 500 == 0 ? 64 : rng() % 13;
        const std::string pattern = random_text(rng, length, letters);
        const std::string other = random_text(rng, rng() % 2 ? length : rng() % 70, letters);
        const LevenshteinPattern bits(pattern);
        ASSERT_EQ(bits.distance(other), table_distance(pattern, other)) << pattern << " / " << other;
        const int d = table_distance(pattern, other);
        EXPECT_TRUE(bits.within(other, d));
        EXPECT_FALSE(bits.within(other, d - 1));
    }
}

TEST(LevenshteinPatternTest, SearchEqualsTheSemiGlobalTable)
{
    std::mt19937 rng(5);
    MatcherTable<std::uint16_t> table(200, 200);
    std::vector<int> last_row;
    std::vector<int> last_column;
    LevenshteinPattern::Trace trace;
    for (int round = 0; round < 3000; ++round) {
        const std::string letters = round % 2 ? "ACGTN" : "AC";
        const std::string pattern = random_text(rng, round % 300 == 0 ? 64 : rng() % 40, letters);
        const std::string text = random_text(rng, rng() % 160, letters);
        const auto m = static_cast<std::uint32_t>(pattern.size());
        const auto n = static_cast<std::uint32_t>(text.size());
        table.populate_levenshtein(text.data(), pattern.data(), n, m, MatcherTable<std::uint16_t>::Semi_global);
        const LevenshteinPattern bits(pattern);
        bits.search(text, last_row, last_column, trace);
        for (std::uint32_t a = 1; a <= n; ++a)
            ASSERT_EQ(last_row[a - 1], table.get_distance(a, m)) << pattern << " / " << text << " at " << a;
        for (std::uint32_t b = 0; b <= m; ++b)
            ASSERT_EQ(last_column[b], table.get_distance(n, b)) << pattern << " / " << text << " at " << b;
        // The walks back from the last row and column, where matches end, start where the
        // table's walks start.
        for (std::uint32_t a = 1; a <= n; ++a) {
            for (std::uint32_t b = 1; b <= m; ++b) {
                if (a != n && b != m)
                    continue;
                int starts[2][2];
                int steps[2];
                table.backtrack_levenshtein(int(a) - 1, int(b) - 1, starts[0][0], starts[0][1], steps[0], steps[1]);
                bits.trace_back(trace, text, int(a) - 1, int(b) - 1, starts[1][0], starts[1][1]);
                ASSERT_EQ(starts[0][0], starts[1][0]) << pattern << " / " << text << " from " << a << ", " << b;
                ASSERT_EQ(starts[0][1], starts[1][1]) << pattern << " / " << text << " from " << a << ", " << b;
            }
        }
    }
}

TEST(LevenshteinPatternSetTest, WithinEachAgreesWithEachPatternAlone)
{
    std::mt19937 rng(17);
    std::vector<unsigned char> out;
    for (int round = 0; round < 1000; ++round) {
        // Nineteen patterns: two groups of eight in one word each, or of four side by side
        // when one is empty or longer than 8, then four and three alone. 'x' takes the slow
        // letter lookup.
        const bool short_ones = round % 2 == 0;
        std::vector<std::string> texts;
        for (int p = 0; p < 19; ++p)
            texts.push_back(random_text(rng,
                                        short_ones       ? 1 + rng() % 8
                                        : rng() % 5 == 0 ? 0
                                                         : 6 + rng() % 4,
                                        round % 3 ? "ACGTN" : "ACx"));
        const std::vector<std::string_view> views(texts.begin(), texts.end());
        const LevenshteinPatternSet patterns(views);
        ASSERT_EQ(patterns.size(), texts.size());
        // The set is made once and compared with many texts.
        for (int other_round = 0; other_round < 3; ++other_round) {
            const std::string other = random_text(rng, 1 + rng() % 10, round % 3 ? "ACGTN" : "ACx");
            const int max = static_cast<int>(rng() % 5) - 1;
            patterns.within_each(other, max, out);
            ASSERT_EQ(out.size(), texts.size());
            for (std::size_t p = 0; p < texts.size(); ++p) {
                ASSERT_EQ(out[p] != 0, LevenshteinPattern(texts[p]).within(other, max))
                    << other << " pattern " << p << " max " << max;
                ASSERT_EQ(out[p] != 0, patterns.within(p, other, max));
            }
        }
    }
}

TEST(LevenshteinPatternTest, EdgeCases)
{
    EXPECT_EQ(LevenshteinPattern("").distance("ACG"), 3);
    EXPECT_EQ(LevenshteinPattern("ACG").distance(""), 3);
    EXPECT_EQ(LevenshteinPattern("ACGTACGT").distance("AACGTACG"), 2); // insertion pushes the last base out
    EXPECT_FALSE(LevenshteinPattern("ACGT").within("ACGT", -1));
    EXPECT_THROW(LevenshteinPattern(std::string(65, 'A')), std::length_error);
}

} // namespace
