#include "converter/analysis/kmer_frequency_table.h"

#include "tests/support/text_lines.h"

#include <gtest/gtest.h>

#include <iostream>
#include <numeric>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

using test_support::stdout_of;

int total(const KmerFrequencyTable& table)
{
    return std::accumulate(table.counts.begin(), table.counts.end(), 0);
}

TEST(KmerFrequencyTable, CodesAndLetters)
{
    EXPECT_EQ(kmer_reverse_complement(3, 0b000110), 0b011011u); // ACG -> CGT
    EXPECT_EQ(kmer_reverse_complement(0, 0b000110), 0u);
    EXPECT_EQ(k_hash_to_string(0, 3), "AAA");
    EXPECT_EQ(k_hash_to_string(0b011011, 3), "CGT");
    EXPECT_EQ(k_hash_to_string(0, 0), "");
    try {
        k_hash_to_string(0, 16);
        ADD_FAILURE() << "k = 16 accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "k is > MAX_K");
    }
}

TEST(KmerFrequencyTable, ConstructorRefusesUnusableK)
{
    for (int k : {-1, 0, 16})
        EXPECT_THROW(KmerFrequencyTable{k}, std::invalid_argument) << k;
    EXPECT_EQ(KmerFrequencyTable(3).counts.size(), 64u);
}

TEST(KmerFrequencyTable, LoadSkipsTheLastKmerAndRestartsAfterOtherLetters)
{
    KmerFrequencyTable table(2);
    table.load("ACGT");
    EXPECT_EQ(table.counts[0b0001], 1); // AC
    EXPECT_EQ(table.counts[0b0110], 1); // CG
    EXPECT_EQ(total(table), 2);         // GT is last

    KmerFrequencyTable skipped(2);
    skipped.load("ANAC");
    skipped.load("acXgt");
    EXPECT_EQ(total(skipped), 0);

    table.load("acg"); // lower case, adding up
    EXPECT_EQ(table.counts[0b0001], 2);

    KmerFrequencyTable wrapping(1);
    wrapping.load(std::string(258, 'A')); // 257 counts wrap to 1
    EXPECT_EQ(wrapping.counts[0], 1);
}

TEST(KmerFrequencyTable, PrintCountsListsRepeatedKmersSmallestFirst)
{
    KmerFrequencyTable table(1);
    table.load("ACGT");
    EXPECT_EQ(stdout_of([&] { table.print_counts(); }), "");

    table.load("CCCAAAAG");
    EXPECT_EQ(stdout_of([&] { table.print_counts(); }), "C : 4\nA : 5\n");
}

} // namespace
