// Sample assignment: the key table, index texts and their padding, the table and
// edit-distance routes, ambiguous and undetermined counts, UMIs, and the chunked stage.
#include "converter/analysis/sample_finder.h"

#include "converter/app/config.h"
#include "converter/pipeline/spot.h"
#include "tests/converter/pipeline/call_bytes.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A spot whose reads hold the given bases (N is a no-call).
Spot make_spot(const std::vector<std::string>& reads)
{
    Spot spot;
    spot.init(static_cast<int>(reads.size()));
    for (std::size_t r = 0; r < reads.size(); ++r) {
        const auto calls = call_bytes::calls_of(reads[r]);
        spot.reads[r].init(static_cast<int>(calls.size()), calls.data(), 1, 1);
    }
    return spot;
}

// One lane; read 1 is a template read, read 2 the I1 read and read 3 the I2 read.
class SampleFinderTest : public ::testing::Test {
protected:
    SampleFinderTest()
    {
        config_.I1_range = {2, 1, 8};
        config_.I2_range = {3, 1, 8};
    }

    // Assigns spots of the given (I1, I2) reads and returns their samples.
    std::vector<int> assign(const std::vector<Sample>& samples, const std::vector<std::vector<std::string>>& indexes)
    {
        config_.lane_samples = {samples};
        finder_.emplace(config_, 1);
        std::vector<Spot> spots;
        for (const auto& i : indexes)
            spots.push_back(make_spot({"ACGTACGTACGTACGTACGT", i[0], i.size() > 1 ? i[1] : ""}));
        finder_->process_spots(spots);
        std::vector<int> result;
        for (const Spot& spot : spots)
            result.push_back(spot.sample);
        return result;
    }

    Config config_;
    std::optional<SampleFinder> finder_;
};

const std::vector<Sample> Dual = {{1, "a", "AAAAAAAA", "CCCCCCCC"}, {1, "b", "GGGGGGGG", "TTTTTTTT"}};

TEST_F(SampleFinderTest, VariationsAndKeysFollowTheMismatchSettings)
{
    SampleFinder finder(config_, 1);
    std::vector<std::string> out;
    finder.generate_variations("AC", 1, out);
    EXPECT_EQ(out, (std::vector<std::string>{"AC", "GC", "CC", "TC", "NC", "AA", "AG", "AT", "AN"}));
    for (int m : {0, 2}) {
        out.clear();
        finder.generate_variations("AC", m, out);
        EXPECT_EQ(out, std::vector<std::string>{"AC"});
    }

    struct Row {
        int m1, m2;
        std::size_t keys;
        std::string sample_key;
    };
    const Row rows[] = {{0, 0, 1, "AAAAAAAACCCCCCCC"},  {1, 1, 33 * 33, "AAAAAAAGCCCCCCCN"},
                        {0, 1, 33, "AAAAAAAACCCCCCCN"}, {1, 2, 33, "AAAAAAAG"},
                        {2, 1, 33, "CCCCCCCN"},         {2, 2, 0, ""}};
    for (const Row& row : rows) {
        config_.I1Mismatches = row.m1;
        config_.I2Mismatches = row.m2;
        config_.lane_samples = {{Dual[0]}};
        SampleFinder one(config_, 1);
        EXPECT_EQ(one.index_table.size(), row.keys) << row.m1 << row.m2;
        EXPECT_EQ(one.find_sample_hashed(row.sample_key), row.keys != 0 ? 0 : -1) << row.m1 << row.m2;
    }
}

TEST_F(SampleFinderTest, PaddedSequenceStaysInsideTheSpot)
{
    const Spot spot = make_spot({"ACGTNACGTT", "GGCC"});
    struct Row {
        int first, last, read, pad;
        std::string text;
    };
    const Row rows[] = {
        {1, 8, 1, 8, "ACGTNACG"}, {3, 20, 1, 4, "GTNACGTT"}, {1, 8, 2, 8, "GGCCNNNN"},   {1, 8, 3, 5, "NNNNN"},
        {1, 8, 0, 3, "NNN"},      {1, 8, -2, 3, "NNN"},      {1, 8, 1, 0, ""},           {1, 8, 1, -5, ""},
        {-3, 2, 1, 4, "ACNN"},    {5, 3, 1, 2, "NN"},        {1, INT_MAX, 2, 1, "GGCC"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SampleFinder::get_padded_sequence(spot, row.first, row.last, row.read, row.pad), row.text)
            << row.first << ".." << row.last << " of read " << row.read << " pad " << row.pad;
}

TEST_F(SampleFinderTest, TableRouteAllowsOneSubstitutionPerIndexAndCountsAmbiguousKeys)
{
    const auto samples = assign(Dual, {{"AAAAAAAA", "CCCCCCCC"}, // exact
                                       {"AAATAAAA", "CCCCCACC"}, // one substitution in each
                                       {"AAATAAGA", "CCCCCCCC"}, // two in I1
                                       {"GGGGGGGG", "TTTTTTTN"}, // no-call as substitution
                                       {"AAAAAA", "CCCCCCCC"}}); // short I1 read: padded with N
    EXPECT_EQ(samples, (std::vector<int>{0, 0, -1, 1, -1}));
    EXPECT_EQ(finder_->undetermined, (SampleFinder::Counts{{"AAAAAANNCCCCCCCC", 1}, {"AAATAAGACCCCCCCC", 1}}));
    EXPECT_TRUE(finder_->ambiguous.empty());

    // One-substitution variants of two samples meet.
    const std::vector<Sample> close = {{1, "a", "AAAAAAAA", ""}, {1, "b", "AAAAAACC", ""}};
    EXPECT_EQ(assign(close, {{"AAAAAAAC", "TTTT"}, {"AAAAAACC", "TTTT"}}), (std::vector<int>{-1, 1}));
    EXPECT_EQ(finder_->ambiguous, (SampleFinder::Counts{{"AAAAAAAC", 1}}));
    EXPECT_TRUE(finder_->undetermined.empty());
}

TEST_F(SampleFinderTest, EditDistanceRouteForI1WithTableLookupForI2)
{
    config_.I1Mismatches = 2;
    const std::vector<Sample> samples = {{1, "a", "ACGTACGT", "TTGGCCAA"}, {1, "b", "GGGGTTTT", "CCAATTGG"}};
    // A base inserted early pushes the last one out of the range: two edits.
    EXPECT_EQ(assign(samples, {{"ACCGTACGT", "TTGGCCAT"}, {"ACCGTACGT", "TTGGCCTT"}, {"AGGGTTTA", "CCAATTGG"}}),
              (std::vector<int>{0, -1, 1}));
    EXPECT_EQ(finder_->undetermined, (SampleFinder::Counts{{"ACCGTACGTTGGCCTT", 1}}));

    // Both by edit distance: a sample must be close in each index.
    config_.I2Mismatches = 2;
    EXPECT_EQ(assign(samples, {{"ACCGTACGT", "TTGGCCTT"}, {"ACGTACGT", "CCAATTGG"}}), (std::vector<int>{0, -1}));
    EXPECT_EQ(assign({{1, "a", "AAAAAAAA", "CCCCCCCC"}, {1, "b", "AAAAAATT", "CCCCCCCC"}}, {{"AAAAAAAT", "CCCCCCCC"}}),
              std::vector<int>{-1});
    EXPECT_EQ(finder_->ambiguous, (SampleFinder::Counts{{"AAAAAAATCCCCCCCC", 1}}));
}

TEST_F(SampleFinderTest, IndexTextsArePaddedToTheLongestIndexAndNeverCut)
{
    config_.I1_range = {2, 1, 10};
    config_.I2_range = {};
    // Second indexes without an I2 read: N padding only.
    EXPECT_EQ(assign(Dual, {{"AAAAAAAA", "CCCCCCCC"}}), std::vector<int>{-1});
    EXPECT_EQ(finder_->undetermined, (SampleFinder::Counts{{"AAAAAAAANNNNNNNN", 1}}));

    const std::vector<Sample> samples = {{1, "a", "ACGTACGT", ""}, {1, "b", "TTGGCCAATT", ""}};
    // Every text has 10 characters, so the 8-character keys never match.
    EXPECT_EQ(assign(samples, {{"ACGTACGT"}, {"TTGGCCAATT"}}), (std::vector<int>{-1, 1}));
    EXPECT_EQ(finder_->undetermined, (SampleFinder::Counts{{"ACGTACGTNN", 1}}));

    // By edit distance the padded text is two edits from the shorter index; a 12-cycle range
    // gives texts longer than every index.
    config_.I1Mismatches = 2;
    EXPECT_EQ(assign(samples, {{"ACGTACGT"}}), std::vector<int>{0});
    config_.I1_range = {2, 1, 12};
    EXPECT_EQ(assign(samples, {{"TTGGCCAATTGG"}, {"ACGTACGTCCCC"}}), (std::vector<int>{1, -1}));
    EXPECT_EQ(finder_->undetermined, (SampleFinder::Counts{{"ACGTACGTCCCC", 1}}));
}

TEST_F(SampleFinderTest, LevenshteinMatchGrowsTheTableForLongerTexts)
{
    SampleFinder::Table table(4, 4);
    struct Row {
        std::string text, index;
        int max;
        bool match;
    };
    const Row rows[] = {
        {"ACCGTACG", "ACGTACGT", 2, true}, {"ACCGTACG", "ACGTACGT", 1, false}, {"A", "", 1, true}, {"A", "", 0, false},
        {"ACGTACGTAC", "ACGT", 5, false},  {"ACGTACGTAC", "ACGTACGT", 2, true}};
    for (const Row& row : rows)
        EXPECT_EQ(SampleFinder::match_levenshtein(table, row.text, row.index, row.max), row.match)
            << row.index << " / " << row.text;
}

TEST_F(SampleFinderTest, UmiFromU1AndU2PaddedToU1Length)
{
    config_.U1_range = {1, 1, 8};
    config_.U2_range = {3, 3, 8};
    config_.lane_samples = {Dual};
    SampleFinder finder(config_, 1);
    std::vector<Spot> spots = {make_spot({"ACGTACGTAC", "AAAAAAAA", "CCGGTTAA"})};
    finder.process_spots(spots);
    EXPECT_EQ(spots[0].umi, "ACGTACGT+GGTTAANN");

    config_.U1_range = {}; // U2 alone reads nothing
    finder.process_spots(spots);
    EXPECT_EQ(spots[0].umi, "");

    config_.U1_range = {1, 1, 8};
    config_.lane_samples = {{}}; // a lane without samples is left alone
    spots = {make_spot({"ACGTACGTAC", "AAAAAAAA", "CCCCCCCC"})};
    SampleFinder(config_, 1).process_spots(spots);
    EXPECT_EQ(spots[0].sample, -1);
    EXPECT_EQ(spots[0].umi, "");
}

TEST_F(SampleFinderTest, ChunksCoverEverySpotAndCountsAccumulate)
{
    config_.lane_samples = {Dual};
    for (int threads : {7, 0, 1, INT_MAX}) {
        config_.threads = threads;
        SampleFinder finder(config_, 1);
        std::vector<Spot> spots;
        for (int s = 0; s < 61; ++s)
            spots.push_back(s % 10 == 9 ? make_spot({"A", "CCCCCCCC", "CCCCCCCC"})
                                        : make_spot({"A", Dual[s % 2].Index, Dual[s % 2].Index2}));
        for (int tile = 1; tile <= 2; ++tile) {
            finder.process_spots(spots);
            for (int s = 0; s < 61; ++s)
                ASSERT_EQ(spots[static_cast<std::size_t>(s)].sample, s % 10 == 9 ? -1 : s % 2) << threads;
            EXPECT_EQ(finder.undetermined, (SampleFinder::Counts{{"CCCCCCCCCCCCCCCC", 6u * tile}})) << threads;
        }
    }
}

TEST_F(SampleFinderTest, MoreSamplesThanPositionsAreRefused)
{
    config_.lane_samples = {std::vector<Sample>(32768)};
    EXPECT_THROW(SampleFinder(config_, 1), std::length_error);
}

} // namespace
