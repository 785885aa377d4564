// Spots and their reads: initialisation in place, copies and reallocation of spot vectors,
// position validation and the test mutation.
#include "converter/pipeline/spot.h"
#include "converter/pipeline/spot_read.h"
#include "converter/pipeline/spot_validator.h"

#include "converter/app/config.h"

#include "tests/converter/pipeline/call_bytes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using call_bytes::call;
using call_bytes::calls_of;
using call_bytes::letters;

std::string codes(const TwoBitSeq& seq)
{
    std::string out;
    for (int i = 0; i < seq.length; ++i)
        out += "ACGT"[seq.get_base(i)];
    return out;
}

// A spot whose reads hold the given bases, all at position (x, y).
Spot make_spot(const std::vector<std::string>& reads, short x = 10, short y = 20)
{
    Spot spot;
    spot.init(static_cast<int>(reads.size()));
    for (std::size_t r = 0; r < reads.size(); ++r) {
        const auto calls = calls_of(reads[r]);
        spot.reads[r].init(static_cast<int>(calls.size()), calls.data(), x, y);
    }
    return spot;
}

// A tile of spots with pseudo-random bases (fixed seed).
std::vector<Spot> make_tile(int spots, int reads, int length, unsigned seed = 3)
{
    std::mt19937 rng(seed);
    std::vector<Spot> tile(static_cast<std::size_t>(spots));
    for (auto& spot : tile) {
        spot.init(reads);
        for (auto& read : spot.reads) {
            std::vector<unsigned char> calls(static_cast<std::size_t>(length));
            for (auto& c : calls)
                c = call(static_cast<int>(rng() & 3), 2 + static_cast<int>(rng() % 40));
            read.init(length, calls.data(), 1, 2);
        }
    }
    return tile;
}

std::vector<std::string> tile_letters(const std::vector<Spot>& tile)
{
    std::vector<std::string> out;
    for (const auto& spot : tile)
        for (const auto& read : spot.reads)
            out.push_back(codes(read.seq));
    return out;
}

} // namespace

TEST(SpotRead, InitSetsThePositionAndClearsTheResults)
{
    SpotRead read;
    read.adapter = 1;
    read.far_secondary = 1;
    read.control = 1;
    read.partial = 1;
    read.control_index = 7;
    const auto calls = calls_of("ACGTNA");
    read.init(6, calls.data(), -3, 32767);
    EXPECT_EQ(read.x, -3);
    EXPECT_EQ(read.y, 32767);
    EXPECT_EQ(read.adapter, 0);
    EXPECT_EQ(read.far_secondary, 0);
    EXPECT_EQ(read.control, 0);
    EXPECT_EQ(read.partial, 0);
    EXPECT_EQ(read.control_index, -1);
    EXPECT_EQ(read.seq.length, 6);
    EXPECT_EQ(letters(read.seq), "ACGTNA"); // a no-call inside the read stays
}

TEST(SpotRead, InitClearsTheCigarKeepingItsCapacity)
{
    SpotRead read;
    for (int i = 0; i < 20; ++i)
        read.cigar.elements.push_back(Cigar::element(Cigar::M, 5));
    const std::size_t capacity = read.cigar.elements.capacity();
    const auto calls = calls_of("ACGT");
    read.init(4, calls.data(), 0, 0);
    EXPECT_TRUE(read.cigar.empty());
    EXPECT_EQ(read.cigar.get_right_mismatches(), 0);
    EXPECT_EQ(read.cigar.elements.capacity(), capacity);
}

TEST(SpotRead, InitDropsTheTrailingNoCalls)
{
    SpotRead read;
    const auto calls = calls_of("ACNGTNNN");
    read.init(8, calls.data(), 0, 0);
    EXPECT_EQ(read.seq.length, 5);
    EXPECT_EQ(letters(read.seq), "ACNGT");
    EXPECT_EQ(read.seq.capacity, 8);

    // Calls below 4 are quality 0 whatever their base: a read of no-calls only is empty.
    const std::vector<unsigned char> no_calls = {0, 1, 2, 3, 3, 2, 1};
    read.init(7, no_calls.data(), 0, 0);
    EXPECT_EQ(read.seq.length, 0);
    EXPECT_EQ(letters(read.seq), "");

    read.init(0, nullptr, 0, 0);
    EXPECT_EQ(read.seq.length, 0);
}

TEST(SpotRead, InitReusesTheSequenceBuffers)
{
    SpotRead read;
    const auto long_calls = calls_of(std::string(150, 'G'));
    read.init(150, long_calls.data(), 0, 0);
    const unsigned char* packed = read.seq.packed.data();
    const auto short_calls = calls_of("TTAC");
    read.init(4, short_calls.data(), 0, 0);
    EXPECT_EQ(read.seq.packed.data(), packed);
    EXPECT_EQ(letters(read.seq), "TTAC");
    read.init(150, long_calls.data(), 0, 0);
    EXPECT_EQ(read.seq.packed.data(), packed);
    EXPECT_EQ(letters(read.seq), std::string(150, 'G'));
}

TEST(Spot, InitResizesTheReadsAndResetsTheSpot)
{
    Spot spot = make_spot({"ACGT", "GGGG", "TTTT"});
    spot.valid = false;
    spot.sample = 4;
    spot.umi = "ACGT";
    spot.init(2);
    EXPECT_TRUE(spot.valid);
    EXPECT_EQ(spot.sample, -1);
    EXPECT_TRUE(spot.umi.empty());
    ASSERT_EQ(spot.reads.size(), 2u);
    EXPECT_EQ(letters(spot.reads[1].seq), "GGGG"); // kept reads are reinitialised by the reader
    spot.init(4);
    ASSERT_EQ(spot.reads.size(), 4u);
    EXPECT_EQ(spot.reads[3].seq.length, 0);
    EXPECT_EQ(spot.reads[3].control_index, -1);
}

TEST(Spot, IsControlAndIsSample)
{
    Spot spot;
    EXPECT_EQ(spot.is_control(), 0); // no reads
    spot = make_spot({"A", "C", "G"});
    EXPECT_EQ(spot.is_control(), 0);
    spot.reads[1].control = 2;
    spot.reads[2].control = 1;
    EXPECT_EQ(spot.is_control(), 2);
    spot.reads[1].control = 0;
    EXPECT_EQ(spot.is_control(), 1);

    EXPECT_FALSE(spot.is_sample());
    spot.sample = 0;
    EXPECT_TRUE(spot.is_sample());
}

TEST(Spot, VectorsOfSpotsCopyDeeplyAndSurviveReallocation)
{
    std::vector<Spot> spots;
    for (int i = 0; i < 3; ++i) {
        spots.push_back(make_spot({"ACGTACGT", "TTGCA"}, static_cast<short>(i), static_cast<short>(i)));
        spots.back().reads[0].cigar.elements.push_back(Cigar::element(Cigar::M, 8));
        spots.back().umi = "UMI" + std::to_string(i);
    }
    std::vector<Spot> copied = spots;

    // Change every original in place; the copies keep their contents.
    for (auto& spot : spots) {
        const auto calls = calls_of("GGGGGGGG");
        spot.reads[0].init(8, calls.data(), 0, 0);
        spot.reads[1].seq.set_base(0, 0);
    }
    for (int i = 0; i < 3; ++i) {
        const Spot& spot = copied[static_cast<std::size_t>(i)];
        EXPECT_EQ(letters(spot.reads[0].seq), "ACGTACGT");
        EXPECT_EQ(letters(spot.reads[1].seq), "TTGCA");
        EXPECT_EQ(spot.reads[0].x, i);
        EXPECT_EQ(spot.reads[0].cigar.get_string(), "8M");
        EXPECT_EQ(spot.umi, "UMI" + std::to_string(i));
        EXPECT_NE(spot.reads[0].seq.packed.data(), spots[static_cast<std::size_t>(i)].reads[0].seq.packed.data());
    }

    // Reallocate many times; then assign the vectors both ways.
    for (int i = 0; i < 1000; ++i)
        copied.push_back(make_spot({"CCCC", "AAAANN"}));
    EXPECT_EQ(letters(copied[1].reads[0].seq), "ACGTACGT");
    EXPECT_EQ(letters(copied[1002].reads[1].seq), "AAAA");
    spots = copied;
    copied.resize(2);
    copied = spots;
    EXPECT_EQ(copied.size(), 1003u);
    EXPECT_EQ(letters(copied[2].reads[1].seq), "TTGCA");
    std::vector<Spot> moved = std::move(spots);
    EXPECT_EQ(letters(moved[1002].reads[0].seq), "CCCC");
}

TEST(SpotValidator, AReadAtAnotherPositionMakesTheSpotInvalid)
{
    Config config;
    config.num_reads = 3;
    const SpotValidator validator(config);
    std::vector<Spot> spots = {make_spot({"A", "C", "G"}), make_spot({"A", "C", "G"}), make_spot({"A", "C", "G"}),
                               make_spot({"A", "C", "G"})};
    spots[1].reads[1].y = 21; // x equal, y different
    spots[2].reads[2].x = 11; // x different
    spots[3].valid = false;   // already invalid stays invalid
    validator.validate_spots(spots);
    EXPECT_TRUE(spots[0].valid);
    EXPECT_FALSE(spots[1].valid);
    EXPECT_FALSE(spots[2].valid);
    EXPECT_FALSE(spots[3].valid);
}

TEST(SpotValidator, OneReadPerRunKeepsEverySpotValid)
{
    Config config;
    config.num_reads = 1;
    const SpotValidator validator(config);
    std::vector<Spot> spots = {make_spot({"A", "C"})};
    spots[0].reads[1].x = 99; // beyond the configured reads
    validator.validate_spots(spots);
    EXPECT_TRUE(spots[0].valid);

    std::vector<Spot> none;
    validator.validate_spots(none);
    EXPECT_TRUE(none.empty());
}

TEST(SpotValidator, ParallelLoopCoversEverySpotExactlyAsTheRangeDoes)
{
    Config config;
    config.num_reads = 2;
    const SpotValidator validator(config);
    std::vector<Spot> spots(10007);
    std::set<int> broken;
    for (int i = 0; i < static_cast<int>(spots.size()); ++i) {
        Spot& spot = spots[static_cast<std::size_t>(i)];
        spot.init(2);
        spot.reads[0].x = spot.reads[1].x = static_cast<short>(i);
        spot.reads[0].y = spot.reads[1].y = static_cast<short>(-i);
        if (i % 7 == 3) {
            spot.reads[1].y = static_cast<short>(spot.reads[1].y + 1);
            broken.insert(i);
        }
    }
    validator.validate_spots(spots);
    for (int i = 0; i < static_cast<int>(spots.size()); ++i)
        ASSERT_EQ(spots[static_cast<std::size_t>(i)].valid, broken.count(i) == 0) << i;

    // A sub-range touches only its own spots.
    for (auto& spot : spots)
        spot.valid = true;
    validator.validate_spot_range(spots, 0, 5);
    EXPECT_FALSE(spots[3].valid);
    EXPECT_TRUE(spots[10].valid);
}

TEST(Mutate, SubstitutionsOnlyChangeTheMutatedPositions)
{
    // With rate 1.0 every mutation is a substitution (u * 2^-31 < 1 for every rand()).
    TwoBitSeq seq(std::string("ACGTTGCAACGTTGCAACGTTGCAACGTTGCATTTTGGGG"));
    const std::string before = codes(seq);
    const std::vector<unsigned char> qual_before(seq.qual.begin(), seq.qual.begin() + seq.length);
    std::minstd_rand0 engine(1);
    std::uniform_int_distribution<int> dist(0, 10);
    std::minstd_rand0 replay_engine = engine;
    std::uniform_int_distribution<int> replay_dist(0, 10);
    std::srand(0);
    const int count = mutate(seq, 1.0, engine, dist);
    const std::string after = codes(seq);
    ASSERT_EQ(after.size(), before.size());
    int mutated = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (replay_dist(replay_engine) == 1) {
            ++mutated;
            EXPECT_NE(after[i], before[i]) << i;
            EXPECT_NE(after[i], 'T') << i; // only A, C or G are produced
        } else {
            EXPECT_EQ(after[i], before[i]) << i;
        }
    }
    EXPECT_EQ(count, mutated);
    EXPECT_GT(count, 0);
    EXPECT_EQ(std::vector<unsigned char>(seq.qual.begin(), seq.qual.begin() + seq.length), qual_before);
}

TEST(Mutate, InsertionsShiftTheSourceAndLoseTheBasesPushedOut)
{
    // With rate 0.0 a mutation is an insertion unless rand() returns 0.
    TwoBitSeq seq(std::string("TTTTGGGGCCCCAAAATTTTGGGGCCCCAAAATTTTGGGGCCCCAAAA"));
    const std::string before = codes(seq);
    std::minstd_rand0 engine(1);
    std::uniform_int_distribution<int> dist(0, 10);
    std::minstd_rand0 replay_engine = engine;
    std::uniform_int_distribution<int> replay_dist(0, 10);
    std::srand(0);
    const int count = mutate(seq, 0.0, engine, dist);
    const std::string after = codes(seq);
    std::string kept;
    std::size_t s = 0;
    int mutated = 0;
    for (std::size_t o = 0; o < after.size(); ++o) {
        if (replay_dist(replay_engine) == 1) {
            ++mutated;
            EXPECT_NE(after[o], before[s]) << o; // differs from the base it was inserted before
            EXPECT_NE(after[o], 'T') << o;
        } else {
            kept += after[o];
            ++s;
        }
    }
    EXPECT_EQ(count, mutated);
    EXPECT_GT(count, 0);
    EXPECT_EQ(kept, before.substr(0, before.size() - static_cast<std::size_t>(count)));
}

TEST(Mutate, EmptySequenceDrawsNothing)
{
    TwoBitSeq seq(0);
    std::minstd_rand0 engine(1);
    std::uniform_int_distribution<int> dist(0, 10);
    const std::minstd_rand0 untouched = engine;
    EXPECT_EQ(mutate(seq, 0.0, engine, dist), 0);
    EXPECT_EQ(engine, untouched);
}

TEST(SpotValidator, MutateSpotsGivesEveryTileTheSameDraws)
{
    Config config;
    config.num_reads = 2;
    const SpotValidator validator(config);
    std::vector<Spot> first = make_tile(50, 2, 60);
    std::vector<Spot> second = first;
    const std::vector<std::string> original = tile_letters(first);

    std::srand(0);
    const int count_first = validator.mutate_spots(first);
    std::srand(0);
    const int count_second = validator.mutate_spots(second);
    EXPECT_EQ(count_first, count_second);
    EXPECT_EQ(tile_letters(first), tile_letters(second));
    EXPECT_NE(tile_letters(first), original);

    // The count depends on the engine alone, which is rebuilt per call.
    std::vector<Spot> third = make_tile(50, 2, 60);
    EXPECT_EQ(validator.mutate_spots(third), count_first);

    // Lengths and qualities are unchanged.
    const std::vector<Spot> fresh = make_tile(50, 2, 60);
    for (std::size_t s = 0; s < fresh.size(); ++s)
        for (std::size_t r = 0; r < 2; ++r) {
            const TwoBitSeq& a = fresh[s].reads[r].seq;
            const TwoBitSeq& b = first[s].reads[r].seq;
            ASSERT_EQ(a.length, b.length);
            for (int i = 0; i < a.length; ++i)
                ASSERT_EQ(a.qual[static_cast<std::size_t>(i)], b.qual[static_cast<std::size_t>(i)]);
        }
}

TEST(SpotValidator, MutateSpotsGoesReadByReadThenSpotBySpot)
{
    Config config;
    config.num_reads = 2;
    const SpotValidator validator(config);
    // Two spots of two reads of 30 bases: the engine's draws go to spot 0 read 1, spot 1
    // read 1, spot 0 read 2, spot 1 read 2.
    std::vector<Spot> spots = {make_spot({std::string(30, 'T'), std::string(30, 'T')}),
                               make_spot({std::string(30, 'T'), std::string(30, 'T')})};
    std::srand(0);
    validator.mutate_spots(spots);

    std::minstd_rand0 engine(1);
    std::uniform_int_distribution<int> dist(0, 10);
    std::vector<TwoBitSeq> order = {spots[0].reads[0].seq, spots[1].reads[0].seq, spots[0].reads[1].seq,
                                    spots[1].reads[1].seq};
    for (const TwoBitSeq& seq : order) {
        std::string expected_mask;
        for (int i = 0; i < 30; ++i)
            expected_mask += dist(engine) == 1 ? 'm' : '.';
        // From all-T reads a mutation is the only way to get a base other than T, and with
        // rate 0.0 the T bases after an insertion are T again.
        std::string mask;
        for (int i = 0; i < seq.length; ++i)
            mask += seq.get_base(i) == 3 ? '.' : 'm';
        EXPECT_EQ(mask, expected_mask);
    }
}

TEST(SpotValidator, MutateSpotsKnownResult)
{
    // The expected texts were cross-checked against an independent model of the algorithm
    // (glibc's rand() after srand(0), minstd_rand0 and libstdc++'s uniform_int_distribution).
    Config config;
    config.num_reads = 2;
    const SpotValidator validator(config);
    std::vector<Spot> tile = {
        make_spot({"ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTAC", "TTTTTTTTTTGGGGGGGGGGCCCCCCCCCCAAAAAAAAAA"}),
        make_spot({"GATTACAGATTACAGATTACAGATTACAGATTACA", "CCCCCCCCCCCCCCCCCCCCCCCCC"})};
    std::srand(0);
    EXPECT_EQ(validator.mutate_spots(tile), 14);
    EXPECT_EQ(letters(tile[0].reads[0].seq), "AACGTACGTACGTACGTACGTACGTAGCGTACGTACGTACGTACGTACGT");
    EXPECT_EQ(letters(tile[0].reads[1].seq), "TTTTTTTTTTGGGGGGGGCCGGCCCCCCCCCACACGAAAA");
    EXPECT_EQ(letters(tile[1].reads[0].seq), "GATTAACAGATTACAGATTACAGATTACAGACTTA");
    EXPECT_EQ(letters(tile[1].reads[1].seq), "CCCACCCGCCCCGCCCCCGCCACCC");
}

TEST(SpotValidator, MutateSpotsWithoutReadsDoesNothing)
{
    Config config;
    config.num_reads = 0;
    const SpotValidator validator(config);
    std::vector<Spot> tile = {make_spot({"ACGT"})};
    EXPECT_EQ(validator.mutate_spots(tile), 0);
    EXPECT_EQ(letters(tile[0].reads[0].seq), "ACGT");
}
