#include "converter/analysis/index.h"

#include "converter/app/utilities.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

namespace {

std::string random_bases(std::mt19937& random, int length)
{
    std::string bases;
    for (int i = 0; i < length; ++i)
        bases += "ACGT"[random() % 4];
    return bases;
}

bool has_hit(const Index& index, std::uint32_t value, std::uint64_t hit)
{
    const auto hits = index.find_hits(value);
    return std::find(hits.begin(), hits.end(), hit) != hits.end();
}

std::size_t total_hits(const Index& index)
{
    std::size_t total = 0;
    for (const auto& entry : index.hits)
        total += entry.second.size();
    return total;
}

TEST(IndexTest, PacksPositionAndReferenceId)
{
    std::mt19937 random(3);
    const std::string first = random_bases(random, 60);
    Index index(255, 4, 12);
    EXPECT_EQ(index.kmer_mask, 0xFFFFFFu);
    ASSERT_TRUE(index.load(first, false));
    // The same minimizers again, as a second reference: every value gets a hit of id 0 and 1.
    ASSERT_TRUE(index.load(std::make_shared<TwoBitSeq>(first), false));
    ASSERT_EQ(index.refs.size(), 2u);

    Minimizers expected(255, 4, 12);
    const TwoBitSeq seq(first);
    expected.compute_quick(seq.packed.data(), seq.length);
    ASSERT_EQ(expected.count, 12);
    for (int i = 0; i < expected.count; ++i) {
        const auto value = expected.values[static_cast<std::size_t>(i)];
        const std::uint64_t position = expected.positions[static_cast<std::size_t>(i)];
        EXPECT_TRUE(has_hit(index, value, position));
        EXPECT_TRUE(has_hit(index, value, position | 1ull << 32));
    }
    EXPECT_EQ(total_hits(index), 24u);
    EXPECT_TRUE(index.find_hits(0xFFFFFFFFu).empty());

    index.clear();
    EXPECT_TRUE(index.refs.empty());
    EXPECT_TRUE(index.hits.empty());
}

TEST(IndexTest, VariantsGoUnderTheirReferenceId)
{
    std::mt19937 random(11);
    const std::string first = random_bases(random, 40);
    const std::string adapter = random_bases(random, 33);
    Index plain(255, 4, 12);
    ASSERT_TRUE(plain.load(adapter, false));

    Index index(255, 4, 12);
    ASSERT_TRUE(index.load(first, false));
    ASSERT_TRUE(index.load(adapter, true));
    ASSERT_EQ(index.refs.size(), 2u);
    EXPECT_GT(total_hits(index), total_hits(plain) * 10);

    // Every minimizer of every one-edit variant is indexed under id 1, nothing else is.
    std::vector<std::string> variants;
    for (int start = 0; start < 33; start += 15)
        generate_mutations(adapter, start, start + 15, true, true, true, variants);
    Minimizers minimizers(255, 4, 12);
    for (const std::string& variant : variants) {
        const TwoBitSeq seq(variant);
        minimizers.compute_quick(seq.packed.data(), seq.length);
        for (int i = 0; i < minimizers.count; ++i)
            ASSERT_TRUE(has_hit(index, minimizers.values[static_cast<std::size_t>(i)],
                                minimizers.positions[static_cast<std::size_t>(i)] | 1ull << 32))
                << variant;
    }
    for (const auto& entry : index.hits)
        for (const std::uint64_t hit : entry.second)
            EXPECT_LE(hit >> 32, 1u);
}

TEST(IndexTest, RejectsMoreThan256ReferencesAndOrphanVariants)
{
    test_support::LogCapture log;
    Index index(32, 4, 4);
    EXPECT_FALSE(index.load(std::make_shared<TwoBitSeq>(std::string("ACGTACGT")), true));
    for (int i = 0; i < 256; ++i)
        ASSERT_TRUE(index.load(std::string(20, "ACGT"[i % 4]), false));
    EXPECT_EQ(index.find_hits(0xFF).back(), 255ull << 32 | 12); // last window of the last reference, TTTT
    const auto size = total_hits(index);
    EXPECT_FALSE(index.load(std::string("ACGTACGTACGT"), true));
    EXPECT_FALSE(index.load(std::make_shared<TwoBitSeq>(std::string("ACGTACGT")), false));
    EXPECT_EQ(index.refs.size(), 256u);
    EXPECT_EQ(total_hits(index), size);
    // Variants of the last reference are still accepted.
    EXPECT_TRUE(index.load(std::make_shared<TwoBitSeq>(std::string("ACGTACGT")), true));
    const std::vector<std::string> expected = {"[ERROR] Index has no reference for a variant",
                                               "[ERROR] Index cannot hold more than 256 references",
                                               "[ERROR] Index cannot hold more than 256 references"};
    EXPECT_EQ(log.lines(), expected);
}

TEST(IndexDeathTest, MutatedSequenceMustLeaveRoomForAnInsertion)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::mt19937 random(5);
    const std::string bases = random_bases(random, 255);
    Index index(255, 4, 12);
    EXPECT_TRUE(index.load(bases, false));
    EXPECT_TRUE(index.load(bases.substr(1), true));
    EXPECT_EXIT(index.load(bases, true), ::testing::ExitedWithCode(255), "sequence length > max_sequence_length");
}

} // namespace
