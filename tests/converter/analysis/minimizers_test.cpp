#include "converter/analysis/minimizers.h"

#include "common/base_code.h"
#include "converter/pipeline/two_bit_seq.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

struct Expected {
    std::vector<std::uint32_t> values;
    std::vector<std::uint32_t> positions;
};

// The definition, base by base: window m covers the k-mers at 4m .. 4m+3, first base lowest.
Expected reference_minimizers(const std::string& bases, int k)
{
    Expected out;
    const int length = static_cast<int>(bases.size());
    for (int m = 0; 4 * m + 3 + k <= length; ++m) {
        std::uint32_t best = UINT32_MAX;
        std::uint32_t best_position = 0;
        for (int p = 4 * m; p < 4 * m + 4; ++p) {
            std::uint32_t value = 0;
            for (int i = 0; i < k; ++i)
                value |= static_cast<std::uint32_t>(base_code::code_of(bases[static_cast<std::size_t>(p + i)]))
                         << (2 * i);
            if (value < best) {
                best = value;
                best_position = static_cast<std::uint32_t>(p);
            }
        }
        out.values.push_back(best);
        out.positions.push_back(best_position);
    }
    return out;
}

std::string random_bases(std::mt19937& random, int length, int alphabet = 4)
{
    std::string bases;
    for (int i = 0; i < length; ++i)
        bases += "ACGT"[random() % static_cast<unsigned>(alphabet)];
    return bases;
}

void expect_matches_reference(Minimizers& minimizers, const std::string& bases, int k, const unsigned char* packed)
{
    const int length = static_cast<int>(bases.size());
    minimizers.compute_quick(packed, length);
    const Expected expected = reference_minimizers(bases, k);
    EXPECT_EQ(minimizers.blocks, (length + 127) / 128);
    EXPECT_EQ(minimizers.bytes, (length + 3) / 4);
    EXPECT_EQ(minimizers.count, (length - k + 1) / 4);
    ASSERT_EQ(std::max(minimizers.count, 0), static_cast<int>(expected.values.size()));
    for (std::size_t i = 0; i < expected.values.size(); ++i) {
        ASSERT_EQ(minimizers.values[i], expected.values[i]) << "window " << i;
        ASSERT_EQ(minimizers.positions[i], expected.positions[i]) << "window " << i;
    }
}

TEST(MinimizersTest, MatchesDefinitionForEveryKAndLength)
{
    std::mt19937 random(20240611);
    for (int k = 4; k <= 12; ++k) {
        Minimizers minimizers(255, 4, k);
        for (int length : {0, 1, k + 2, k + 3, k + 4, 31, 100, 127, 128, 129, 200, 254, 255}) {
            // A small alphabet makes equal k-mers in one window common, exercising the ties.
            for (int alphabet : {4, 2, 1}) {
                SCOPED_TRACE("k " + std::to_string(k) + " length " + std::to_string(length) + " alphabet " +
                             std::to_string(alphabet));
                const std::string bases = random_bases(random, length, alphabet);
                // Every bit after the last base set: bytes past the sequence must not matter.
                const TwoBitSeq seq(bases + "T");
                std::vector<unsigned char> packed(seq.packed.begin(), seq.packed.end());
                for (int i = length; i < static_cast<int>(packed.size()) * 4; ++i)
                    packed[static_cast<std::size_t>(i / 4)] |= static_cast<unsigned char>(3 << (2 * (i % 4)));
                expect_matches_reference(minimizers, bases, k, packed.data());
            }
        }
    }
}

TEST(MinimizersTest, FixedValues)
{
    Minimizers minimizers(100, 4, 12);
    const TwoBitSeq poly_a(std::string(100, 'A'));
    minimizers.compute_quick(poly_a.packed.data(), poly_a.length);
    ASSERT_EQ(minimizers.count, 22);
    for (std::uint32_t m = 0; m < 22; ++m) {
        EXPECT_EQ(minimizers.values[m], 0u);
        EXPECT_EQ(minimizers.positions[m], 4 * m);
    }

    // k = 4, bases TTTT ACGT GGGG. Window 0: TTTT 255, TTTA 63, TTAC 79, TACG 147 -> 63 at base 1.
    // Window 1: ACGT 228, CGTG 185, GTGG 174, TGGG 171 -> 171 at base 7.
    Minimizers small(16, 4, 4);
    const TwoBitSeq seq(std::string("TTTTACGTGGGG"));
    small.compute_quick(seq.packed.data(), seq.length);
    ASSERT_EQ(small.count, 2);
    EXPECT_EQ(small.values[0], 63u);
    EXPECT_EQ(small.positions[0], 1u);
    EXPECT_EQ(small.values[1], 171u);
    EXPECT_EQ(small.positions[1], 7u);

    // Shorter than k + 3 bases: no minimizers.
    minimizers.compute_quick(poly_a.packed.data(), 14);
    EXPECT_LE(minimizers.count, 0);
}

TEST(MinimizersTest, CapacityAndCopies)
{
    EXPECT_EQ(Minimizers(128, 4, 12).capacity, 32);
    EXPECT_EQ(Minimizers(129, 4, 12).capacity, 64);

    Minimizers original(64, 4, 4);
    const TwoBitSeq seq(std::string("ACGTACGTACGTACGT"));
    original.compute_quick(seq.packed.data(), seq.length);
    Minimizers copy = original;
    EXPECT_NE(copy.values.data(), original.values.data());
    EXPECT_EQ(copy.values, original.values);
    const TwoBitSeq other(std::string(64, 'T'));
    copy.compute_quick(other.packed.data(), other.length);
    EXPECT_EQ(original.count, 3);
    EXPECT_EQ(original.values[0], 57u); // CGTA at base 1
}

TEST(MinimizersDeathTest, ImpossibleParametersEndTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const TwoBitSeq seq(std::string(40, 'A'));
    EXPECT_EXIT(Minimizers(100, 4, 3), ::testing::ExitedWithCode(255), "K must be >= W");
    EXPECT_EXIT(Minimizers(39, 4, 12).compute_quick(seq.packed.data(), seq.length), ::testing::ExitedWithCode(255),
                "sequence length > max_sequence_length");
    EXPECT_EXIT(Minimizers(100, 3, 12).compute_quick(seq.packed.data(), seq.length), ::testing::ExitedWithCode(255),
                "W window size must be 4");
    EXPECT_EXIT(Minimizers(100, 4, 13).compute_quick(seq.packed.data(), seq.length), ::testing::ExitedWithCode(255),
                "K must be <= 12");
    // Checked in this order: a too long sequence is reported first.
    EXPECT_EXIT(Minimizers(39, 3, 13).compute_quick(seq.packed.data(), seq.length), ::testing::ExitedWithCode(255),
                "sequence length > max_sequence_length");
}

} // namespace
