#include "converter/analysis/matcher_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int Global = 1;
constexpr int Semi_global = 2;

// Plain full-matrix edit distance table of the given type.
std::vector<std::vector<int>> reference_table(const std::string& s1, const std::string& s2, int type)
{
    std::vector<std::vector<int>> d(s1.size() + 1, std::vector<int>(s2.size() + 1));
    for (std::size_t a = 0; a <= s1.size(); ++a)
        d[a][0] = type == Global ? static_cast<int>(a) : 0;
    for (std::size_t b = 0; b <= s2.size(); ++b)
        d[0][b] = type == 0 ? 0 : static_cast<int>(b);
    for (std::size_t a = 1; a <= s1.size(); ++a)
        for (std::size_t b = 1; b <= s2.size(); ++b)
            d[a][b] = std::min({d[a - 1][b] + 1, d[a][b - 1] + 1, d[a - 1][b - 1] + (s1[a - 1] != s2[b - 1] ? 1 : 0)});
    return d;
}

template <typename Table>
void populate(Table& table, const std::string& s1, const std::string& s2, int type)
{
    table.populate_levenshtein(s1.data(), s2.data(), static_cast<std::uint32_t>(s1.size()),
                               static_cast<std::uint32_t>(s2.size()), static_cast<typename Table::Type>(type));
}

template <typename Cell>
class MatcherTableTest : public ::testing::Test {
protected:
    using Table = MatcherTable<Cell>;
    // Largest length at which this cell width is exact.
    static constexpr std::uint32_t Exact_below = sizeof(Cell) == 1 ? 255 : 301;
};

using CellTypes = ::testing::Types<unsigned char, std::uint16_t>;
TYPED_TEST_SUITE(MatcherTableTest, CellTypes);

TYPED_TEST(MatcherTableTest, DistancesAndBordersOfEveryLength)
{
    struct Case {
        std::string s1, s2;
        int type;
        int expected;
    };
    const std::vector<Case> cases = {
        {"ACGT", "ACGT", Global, 0},
        {"ACGT", "AGT", Global, 1},
        {"TTTTACGT", "ACGT", Semi_global, 0},
        {"", "", Global, 0},
        {"", "A", Global, 1},
        {"A", "", Global, 1},
        {"", "A", Semi_global, 1},
        {"A", "", Semi_global, 0},
        {"", "ACG", 0, 0},
        {"A", "C", Global, 1},
        {"", "ACGTACGTACGTACGTACGTACGTACGTACGTAC", Global, 34},
    };
    typename TestFixture::Table table(40, 40);
    for (const Case& c : cases) {
        // Cells left over from an earlier alignment must never be read.
        std::fill(table.table.begin(), table.table.end(), 77);
        populate(table, c.s1, c.s2, c.type);
        const auto ref = reference_table(c.s1, c.s2, c.type);
        for (std::uint32_t a = 0; a <= c.s1.size(); ++a)
            for (std::uint32_t b = 0; b <= c.s2.size(); ++b)
                ASSERT_EQ(table.get_distance(a, b), ref[a][b])
                    << c.s1 << " / " << c.s2 << " type " << c.type << " at " << a << "," << b;
        EXPECT_EQ(table.get_distance(table.length1, table.length2), c.expected);
    }
    EXPECT_THROW(populate(table, std::string(41, 'A'), "A", Global), std::length_error);
}

TYPED_TEST(MatcherTableTest, CigarsFollowTheWalkBackRule)
{
    struct Case {
        std::string s1, s2, expected;
    };
    const std::vector<Case> table_cases = {
        {"ACGTACGT", "ACGAACGT", "3M1X4M"},
        {"ACNGT", "ACNGT", "5M"}, // N against N is equal bytes
        {"ACGGT", "ACNGT", "2M1N2M"},
        {"ACNGT", "ACGGT", "2M1N2M"},
        {"A", "AC", "1M1I"},     // left strictly smallest
        {"AC", "A", "1M1D"},     // up strictly smallest
        {"A", "CC", "1X"},       // left equal to diagonal: mismatch; leading C not represented
        {"AA", "C", "1X"},       // up equal to diagonal: mismatch
        {"ACA", "CAC", "3X"},    // left equal to up, both below diagonal: still the diagonal
        {"TACGT", "ACGT", "4M"}, // leading base of the first sequence not represented
        {"", "ACG", "0M"},
        {"ACG", "", "0M"},
    };
    typename TestFixture::Table table(16, 16);
    Cigar cigar;
    for (const Case& c : table_cases) {
        populate(table, c.s1, c.s2, Global);
        cigar.elements.assign(3, 0xFFFF);
        table.get_levenshtein_cigar_code(cigar, 'N');
        EXPECT_EQ(cigar.get_string(), c.expected) << c.s1 << " / " << c.s2;
    }
}

TYPED_TEST(MatcherTableTest, BacktrackGivesStartsAndGaps)
{
    struct Case {
        std::string read, adapter;
        int i, j;
        int start1, start2, insertions, deletions;
    };
    const std::vector<Case> cases = {
        {"TTTTACGTGG", "ACGT", 7, 3, 4, 0, 0, 0},
        {"CGTAA", "ACGT", 2, 3, 0, 1, 0, 0},           // walk leaves the read first
        {"TTACGTTAGGCC", "ACGTAGG", 9, 6, 2, 0, 0, 1}, // extra read base
        {"TTACGAGG", "ACGTAGG", 7, 6, 2, 0, 1, 0},     // adapter base missing from the read
    };
    typename TestFixture::Table table(16, 16);
    for (const Case& c : cases) {
        populate(table, c.read, c.adapter, Semi_global);
        int start1 = -1, start2 = -1, insertions = -1, deletions = -1;
        table.backtrack_levenshtein(c.i, c.j, start1, start2, insertions, deletions);
        EXPECT_EQ(std::vector<int>({start1, start2, insertions, deletions}),
                  std::vector<int>({c.start1, c.start2, c.insertions, c.deletions}))
            << c.read << " / " << c.adapter;
    }
}

TYPED_TEST(MatcherTableTest, MatchesReferenceOnRandomSequences)
{
    constexpr std::uint32_t max = TestFixture::Exact_below - 1;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> lengths = {
        {0, 0},     {1, 0},     {0, 1},   {1, 1},   {31, 33},  {32, 32},  {33, 1},   {1, 64},
        {254, 254}, {255, 255}, {300, 0}, {0, 300}, {300, 17}, {17, 300}, {300, 300}};
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::uint32_t> length(0, max);
    for (int n = 0; n < 60; ++n)
        lengths.emplace_back(length(random), length(random));

    typename TestFixture::Table table(max, max);
    Cigar cigar;
    for (auto [n1, n2] : lengths) {
        if (n1 > max || n2 > max)
            continue;
        // Small alphabets make ties frequent.
        const std::string alphabet = n1 % 3 == 0 ? "AC" : "ACGTN";
        std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1);
        std::string s1(n1, 'A'), s2(n2, 'A');
        for (char& c : s1)
            c = alphabet[letter(random)];
        for (char& c : s2)
            c = alphabet[letter(random)];
        for (int type : {Global, Semi_global}) {
            populate(table, s1, s2, type);
            const auto ref = reference_table(s1, s2, type);
            for (std::uint32_t a = 0; a <= n1; ++a)
                for (std::uint32_t b = 0; b <= n2; ++b)
                    ASSERT_EQ(table.get_distance(a, b), ref[a][b])
                        << n1 << "x" << n2 << " type " << type << " at " << a << "," << b;
            // The walk ends when one of the sequences is used up.
            table.get_levenshtein_cigar_code(cigar, 'N');
            int consumed1 = 0, consumed2 = 0;
            for (std::uint16_t e : cigar.elements) {
                const int op = Cigar::op_of(e);
                consumed1 += op == Cigar::I ? 0 : Cigar::length_of(e);
                consumed2 += op == Cigar::D ? 0 : Cigar::length_of(e);
            }
            EXPECT_TRUE(consumed1 == static_cast<int>(n1) || consumed2 == static_cast<int>(n2));
        }
    }
}

TEST(MatcherTableWide, LongRunsAreSplitIntoFullElements)
{
    MatcherTable<std::uint16_t> table(5001, 1);
    Cigar cigar;
    for (auto [gap, expected] :
         std::vector<std::pair<int, std::string>>{{4095, "1M4095D"}, {4096, "1M4095D1D"}, {5000, "1M4095D905D"}}) {
        populate(table, "C" + std::string(static_cast<std::size_t>(gap), 'G'), "C", Global);
        EXPECT_EQ(table.get_distance(table.length1, table.length2), gap);
        table.get_levenshtein_cigar_code(cigar, 'N');
        EXPECT_EQ(cigar.get_string(), expected);
    }
}

} // namespace
