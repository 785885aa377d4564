// The packed base sequence: buffer sizes, packing from calls and from text, slices and
// their error texts, buffer reuse, copies and moves, reverse complements.
#include "converter/pipeline/two_bit_seq.h"

#include "tests/converter/pipeline/call_bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using call_bytes::call;
using call_bytes::calls_of;
using call_bytes::letters;

TwoBitSeq from_calls(const std::vector<unsigned char>& calls)
{
    TwoBitSeq seq(static_cast<int>(calls.size()));
    seq.pack_sequence(calls.data());
    return seq;
}

std::string qualities(const TwoBitSeq& seq)
{
    std::string out;
    if (seq.length > 0)
        seq.qual_to_string(out);
    return out;
}

// The message of the std::runtime_error that f raises, or "" when it raises none.
template <typename F>
std::string error_text(F f)
{
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

// Bytes of the packed buffer beyond the data of the current length that must be zero.
void expect_padding_zero(const TwoBitSeq& seq)
{
    const std::size_t begin = (static_cast<std::size_t>(seq.length) + 3) / 4;
    const std::size_t end = TwoBitSeq::packed_size(seq.length);
    ASSERT_LE(end, seq.packed.size());
    for (std::size_t i = begin; i < end; ++i)
        EXPECT_EQ(seq.packed[i], 0) << "padding byte " << i << " of length " << seq.length;
}

} // namespace

TEST(TwoBitSeq, DefaultHasNoBuffers)
{
    const TwoBitSeq seq;
    EXPECT_TRUE(seq.packed.empty());
    EXPECT_TRUE(seq.qual.empty());
    EXPECT_EQ(seq.length, 0);
    EXPECT_EQ(seq.capacity, 0);
}

TEST(TwoBitSeq, BuffersAreSizedWithThePadding)
{
    // ceil(n/4) rounded up to a multiple of 32, plus 3.
    const std::vector<std::pair<int, std::size_t>> cases = {{0, 3},    {1, 35},   {4, 35},   {100, 35},
                                                            {128, 35}, {129, 67}, {256, 67}, {257, 99}};
    for (const auto& [n, bytes] : cases) {
        EXPECT_EQ(TwoBitSeq::packed_size(n), bytes) << n;
        const TwoBitSeq seq(n);
        EXPECT_EQ(seq.length, n);
        EXPECT_EQ(seq.capacity, n);
        EXPECT_EQ(seq.packed.size(), bytes) << n;
        EXPECT_EQ(seq.qual.size(), static_cast<std::size_t>(n));
        for (unsigned char b : seq.packed)
            EXPECT_EQ(b, 0);
        for (unsigned char q : seq.qual)
            EXPECT_EQ(q, 1);
    }
}

TEST(TwoBitSeq, NegativeLengthIsRejected)
{
    TwoBitSeq seq;
    EXPECT_THROW(seq.resize(-1), std::invalid_argument);
}

TEST(TwoBitSeq, PacksCallsTwoBitsPerBaseFirstBaseLowest)
{
    const TwoBitSeq seq = from_calls({call(0, 10), call(1, 20), call(2, 30), call(3, 40), call(3, 0), call(1, 63)});
    EXPECT_EQ(seq.packed[0], 0xE4); // T G C A from the top bits down
    EXPECT_EQ(seq.packed[1], 0x07); // C, then T
    EXPECT_EQ(seq.get_base(4), 3);
    EXPECT_EQ(seq.get_base(5), 1);
    const std::vector<unsigned char> expected_qual = {10, 20, 30, 40, 0, 63};
    EXPECT_EQ(std::vector<unsigned char>(seq.qual.begin(), seq.qual.begin() + 6), expected_qual);
    EXPECT_EQ(letters(seq), "ACGTNC"); // quality 0 prints as N
    EXPECT_EQ(qualities(seq), std::string({char(43), char(53), char(63), char(73), char(33), char(96)}));
    expect_padding_zero(seq);
}

TEST(TwoBitSeq, PackingCallsMatchesBaseByBasePackingForEveryLength)
{
    std::mt19937 rng(7);
    TwoBitSeq seq;
    for (int n = 0; n <= 300; ++n) {
        std::vector<unsigned char> calls(static_cast<std::size_t>(n));
        for (auto& c : calls)
            c = static_cast<unsigned char>(rng());
        // Reuse the same sequence, shrinking and growing, so stale bytes would show.
        seq.resize(n);
        seq.pack_sequence(calls.data());
        ASSERT_EQ(seq.length, n);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(seq.get_base(i), calls[static_cast<std::size_t>(i)] & 3) << n << " " << i;
            ASSERT_EQ(seq.qual[static_cast<std::size_t>(i)], calls[static_cast<std::size_t>(i)] >> 2) << n << " " << i;
        }
        // Bits after the last base of the last data byte are zero too.
        if (n % 4 != 0) {
            EXPECT_EQ(seq.packed[static_cast<std::size_t>(n / 4)] >> (2 * (n % 4)), 0) << n;
        }
        expect_padding_zero(seq);
    }
}

TEST(TwoBitSeq, PacksText)
{
    const TwoBitSeq seq(std::string("ACGTacgt"));
    EXPECT_EQ(seq.length, 8);
    EXPECT_EQ(letters(seq), "ACGTACGT");
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(seq.qual[static_cast<std::size_t>(i)], 1);
    expect_padding_zero(seq);
}

TEST(TwoBitSeq, TextOtherThanAcgtIsStoredAsAWithQualityOne)
{
    const TwoBitSeq seq(std::string("AN C"));
    EXPECT_EQ(seq.length, 4);
    EXPECT_EQ(seq.get_base(0), 0);
    EXPECT_EQ(seq.get_base(1), 0);
    EXPECT_EQ(seq.get_base(2), 0);
    EXPECT_EQ(seq.get_base(3), 1);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(seq.qual[static_cast<std::size_t>(i)], 1);
    EXPECT_EQ(letters(seq), "AAAC");

    const TwoBitSeq odd(std::string("x\xff@zu"));
    EXPECT_EQ(letters(odd), "AAAAA");
}

TEST(TwoBitSeq, PackingTextShorterThanTheLengthIsRejected)
{
    TwoBitSeq seq(5);
    EXPECT_THROW(seq.pack_sequence(std::string("ACG")), std::out_of_range);
}

TEST(TwoBitSeq, SeqToStringSlices)
{
    const TwoBitSeq seq = from_calls(calls_of("ACGTNACG"));
    std::string out = "stale";
    seq.seq_to_string(out);
    EXPECT_EQ(out, "ACGTNACG");
    seq.seq_to_string(out, 2, 3);
    EXPECT_EQ(out, "GTN");
    seq.seq_to_string(out, 7, 1);
    EXPECT_EQ(out, "G");
    seq.seq_to_string(out, 0, 8);
    EXPECT_EQ(out, "ACGTNACG");
}

TEST(TwoBitSeq, SeqToStringErrorTexts)
{
    const TwoBitSeq seq = from_calls(calls_of("ACGT"));
    std::string out;
    EXPECT_EQ(error_text([&] { seq.seq_to_string(out, 2, 3); }),
              "Sequence slice [2 , 5 ] is out of bounds for sequence of length 4");
    EXPECT_EQ(error_text([&] { seq.seq_to_string(out, -1, 2); }),
              "Sequence slice [-1 , 1 ] is out of bounds for sequence of length 4");
    // Count 0 means the whole length, counted from start.
    EXPECT_EQ(error_text([&] { seq.seq_to_string(out, 1); }),
              "Sequence slice [1 , 5 ] is out of bounds for sequence of length 4");
    EXPECT_EQ(error_text([&] { seq.seq_to_string(out, 4, 1); }),
              "Sequence slice [4 , 5 ] is out of bounds for sequence of length 4");
}

TEST(TwoBitSeq, QualToStringSlicesAndErrorTexts)
{
    const TwoBitSeq seq = from_calls({call(0, 0), call(1, 1), call(2, 40), call(3, 63)});
    std::string out;
    seq.qual_to_string(out);
    EXPECT_EQ(out, "!\"I`");
    seq.qual_to_string(out, 1, 2);
    EXPECT_EQ(out, "\"I");
    EXPECT_EQ(error_text([&] { seq.qual_to_string(out, 3, 2); }),
              "Quality slice [3 , 5 ] is out of bounds for quality sequence of length 4");
    EXPECT_EQ(error_text([&] { seq.qual_to_string(out, 4, 1); }),
              "Quality slice [4 , 5 ] is out of bounds for quality sequence of length 4");
    // A negative start is rejected here as well.
    EXPECT_EQ(error_text([&] { seq.qual_to_string(out, -1, 2); }),
              "Quality slice [-1 , 1 ] is out of bounds for quality sequence of length 4");
}

TEST(TwoBitSeq, EmptySequenceSlices)
{
    const TwoBitSeq seq(0);
    std::string out = "stale";
    seq.seq_to_string(out);
    EXPECT_EQ(out, "");
    EXPECT_EQ(error_text([&] { seq.qual_to_string(out); }),
              "Quality slice [0 , 0 ] is out of bounds for quality sequence of length 0");

    const TwoBitSeq none;
    none.seq_to_string(out);
    EXPECT_EQ(out, "");
}

TEST(TwoBitSeq, GetSequenceAndQualityData)
{
    const TwoBitSeq seq = from_calls(calls_of("ACGTNACGTT", 40));
    std::vector<char> buffer(12, '#');
    EXPECT_EQ(seq.get_sequence_data(buffer.data(), 10), 10);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "ACGTNACGTT##");

    std::fill(buffer.begin(), buffer.end(), '#');
    EXPECT_EQ(seq.get_quality_data(buffer.data(), 10), 10);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "IIII!IIIII##");

    EXPECT_EQ(error_text([&] { seq.get_sequence_data(buffer.data(), 9); }),
              "seq buffer is out of bounds: seq_size= 10");
    EXPECT_EQ(error_text([&] { seq.get_quality_data(buffer.data(), 9); }), "seq buffer is out of bounds: seq_size= 10");

    const TwoBitSeq empty(0);
    EXPECT_EQ(empty.get_sequence_data(buffer.data(), 0), 0);
    EXPECT_EQ(empty.get_quality_data(buffer.data(), 0), 0);
}

TEST(TwoBitSeq, GetSequenceDataMatchesSeqToStringForEveryLength)
{
    // Letters and qualities are written eight at a time: each is checked against the base
    // and the quality byte read one by one, for every length, slice start and quality byte.
    std::mt19937 rng(11);
    for (int n = 0; n <= 70; ++n) {
        std::vector<unsigned char> calls(static_cast<std::size_t>(n));
        for (auto& c : calls)
            c = static_cast<unsigned char>(rng() % 3 == 0 ? rng() & 3 : rng()); // some no-calls
        TwoBitSeq seq = from_calls(calls);
        std::string text;
        seq.seq_to_string(text);
        std::vector<char> buffer(static_cast<std::size_t>(n) + 1, '#');
        ASSERT_EQ(seq.get_sequence_data(buffer.data(), n), n);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + n), text);
        EXPECT_EQ(buffer.back(), '#');

        std::string letters;
        for (int i = 0; i < n; ++i)
            letters += seq.qual[static_cast<std::size_t>(i)] == 0 ? 'N' : "ACGT"[seq.get_base(i)];
        ASSERT_EQ(text, letters);
        for (int start = 0; start < n; ++start) {
            seq.seq_to_string(text, start, n - start);
            ASSERT_EQ(text, letters.substr(static_cast<std::size_t>(start))) << n << " from " << start;
        }
        for (auto& q : seq.qual)
            q = static_cast<unsigned char>(rng());
        ASSERT_EQ(seq.get_quality_data(buffer.data(), n), n);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(static_cast<unsigned char>(buffer[static_cast<std::size_t>(i)]),
                      static_cast<unsigned char>(seq.qual[static_cast<std::size_t>(i)] + 33))
                << n << " at " << i;
    }
}

TEST(TwoBitSeq, ResizeReusesTheBuffersWhileTheCapacitySuffices)
{
    TwoBitSeq seq = from_calls(calls_of("TTTTTTTT"));
    const unsigned char* packed = seq.packed.data();
    const unsigned char* qual = seq.qual.data();

    seq.resize(5);
    EXPECT_EQ(seq.length, 5);
    EXPECT_EQ(seq.capacity, 8);
    EXPECT_EQ(seq.packed.data(), packed);
    EXPECT_EQ(seq.qual.data(), qual);
    EXPECT_EQ(seq.packed[0], 0xFF); // contents stay
    EXPECT_EQ(seq.packed[1], 0xFF);
    EXPECT_EQ(letters(seq), "TTTTT");

    seq.resize(8);
    EXPECT_EQ(seq.packed.data(), packed);
    EXPECT_EQ(letters(seq), "TTTTTTTT");

    seq.resize(9); // beyond the capacity: fresh buffers, zeroed, qualities 1
    EXPECT_EQ(seq.length, 9);
    EXPECT_EQ(seq.capacity, 9);
    EXPECT_EQ(seq.packed.size(), TwoBitSeq::packed_size(9));
    EXPECT_EQ(letters(seq), "AAAAAAAAA");
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(seq.qual[static_cast<std::size_t>(i)], 1);
}

TEST(TwoBitSeq, PackingAfterShrinkingZeroesTheNewLengthAndItsPaddingOnly)
{
    TwoBitSeq seq = from_calls(calls_of(std::string(200, 'T'))); // 50 data bytes of 0xFF
    ASSERT_EQ(seq.packed.size(), 67u);
    seq.resize(5);
    seq.pack_sequence(std::string("AAAAA"));
    EXPECT_EQ(letters(seq), "AAAAA");
    // 2 data bytes and 33 padding bytes of the new length are zero ...
    for (std::size_t i = 0; i < 35; ++i)
        EXPECT_EQ(seq.packed[i], 0) << i;
    // ... the rest of the old data stays as it was.
    for (std::size_t i = 35; i < 50; ++i)
        EXPECT_EQ(seq.packed[i], 0xFF) << i;
    EXPECT_EQ(seq.capacity, 200);
}

TEST(TwoBitSeq, CopiesAreDeepAndSizedByTheLength)
{
    TwoBitSeq original = from_calls(calls_of(std::string(200, 'G')));
    original.resize(10);
    original.pack_sequence(calls_of("ACGTNACGTA").data());

    TwoBitSeq copied(original);
    EXPECT_EQ(copied.length, 10);
    EXPECT_EQ(copied.capacity, 10); // not the other's capacity
    EXPECT_EQ(copied.packed.size(), TwoBitSeq::packed_size(10));
    EXPECT_EQ(copied.qual.size(), 10u);
    EXPECT_NE(copied.packed.data(), original.packed.data());
    EXPECT_EQ(letters(copied), "ACGTNACGTA");
    EXPECT_EQ(qualities(copied), qualities(original));
    expect_padding_zero(copied);

    original.set_base(0, 3);
    original.qual[1] = 0;
    EXPECT_EQ(letters(original), "TNGTNACGTA");
    EXPECT_EQ(letters(copied), "ACGTNACGTA");
}

TEST(TwoBitSeq, CopyAssignmentReusesTheTargetsBuffers)
{
    const TwoBitSeq source = from_calls(calls_of("ACGTAC"));
    TwoBitSeq target = from_calls(calls_of(std::string(300, 'T')));
    const unsigned char* packed = target.packed.data();
    target = source;
    EXPECT_EQ(target.packed.data(), packed);
    EXPECT_EQ(target.length, 6);
    EXPECT_EQ(target.capacity, 300);
    EXPECT_EQ(letters(target), "ACGTAC");
    expect_padding_zero(target);

    TwoBitSeq small = from_calls(calls_of("A"));
    small = target; // grows
    EXPECT_EQ(letters(small), "ACGTAC");

    TwoBitSeq& alias = small;
    small = alias; // self-assignment leaves it as it was
    EXPECT_EQ(letters(small), "ACGTAC");

    TwoBitSeq from_empty(std::string("ACGT"));
    from_empty = TwoBitSeq();
    EXPECT_EQ(from_empty.length, 0);
    EXPECT_EQ(letters(from_empty), "");
    const TwoBitSeq none;
    const TwoBitSeq copy_of_none(none);
    EXPECT_EQ(copy_of_none.length, 0);
    EXPECT_EQ(letters(copy_of_none), "");
}

TEST(TwoBitSeq, MovesTakeTheBuffersAndLeaveTheSourceEmpty)
{
    TwoBitSeq source = from_calls(calls_of("ACGTACGTAC"));
    const unsigned char* packed = source.packed.data();
    TwoBitSeq moved(std::move(source));
    EXPECT_EQ(moved.packed.data(), packed);
    EXPECT_EQ(letters(moved), "ACGTACGTAC");
    EXPECT_EQ(source.length, 0);   // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(source.capacity, 0); // NOLINT(bugprone-use-after-move)
    EXPECT_TRUE(source.packed.empty());
    EXPECT_EQ(letters(source), "");

    TwoBitSeq target(std::string("GG"));
    target = std::move(moved);
    EXPECT_EQ(target.packed.data(), packed);
    EXPECT_EQ(letters(target), "ACGTACGTAC");
    EXPECT_EQ(moved.length, 0); // NOLINT(bugprone-use-after-move)

    // A moved-from sequence is usable again.
    moved.resize(3);
    moved.pack_sequence(std::string("TTT"));
    EXPECT_EQ(letters(moved), "TTT");
}

TEST(TwoBitSeq, CopyReverseComplement)
{
    const TwoBitSeq source = from_calls({call(0, 10), call(0, 11), call(1, 12), call(2, 0), call(3, 14)});
    TwoBitSeq rc(std::string(40, 'T'));
    rc.copy_reverse_complement(source);
    EXPECT_EQ(rc.length, 5);
    std::string bases;
    for (int i = 0; i < 5; ++i)
        bases += "ACGT"[rc.get_base(i)];
    EXPECT_EQ(bases, "ACGTT");
    const std::vector<unsigned char> expected_qual = {14, 0, 12, 11, 10};
    EXPECT_EQ(std::vector<unsigned char>(rc.qual.begin(), rc.qual.begin() + 5), expected_qual);
    EXPECT_EQ(letters(rc), "ANGTT");
    expect_padding_zero(rc);

    // Into itself.
    TwoBitSeq self = from_calls(calls_of("AACGTTG"));
    self.copy_reverse_complement(self);
    EXPECT_EQ(letters(self), "CAACGTT");
}

TEST(TwoBitSeq, SetBaseTouchesOnlyItsOwnBits)
{
    TwoBitSeq seq(std::string("TTTTTTTT"));
    seq.set_base(5, 0);
    seq.set_base(2, 1);
    EXPECT_EQ(letters(seq), "TTCTTATT");
}

TEST(ReverseComplement, TheNineCharacters)
{
    EXPECT_EQ(reverse_complement("ACGTNacgx"), "NCGTNACGT");
    // Read backwards: x g c a N T G C A.
    EXPECT_EQ(reverse_complement("A"), "T");
    EXPECT_EQ(reverse_complement(""), "");
    EXPECT_EQ(reverse_complement("acgt"), "ACGT");
    // Outside 'A'..'t' and letters without a code give N.
    EXPECT_EQ(reverse_complement(std::string("u@ \xff\x01zZn")), "NNNNNNNN");
}

TEST(TwoBitSeqEmpty, EmptyTextPacksToAnEmptySequence)
{
    // An adapter or control record with a blank sequence line arrives here.
    TwoBitSeq empty{std::string()};
    EXPECT_EQ(empty.length, 0);
    std::string out = "x";
    empty.seq_to_string(out);
    EXPECT_EQ(out, "");
}
