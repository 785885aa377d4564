// The pieces of a tile's records that the end-to-end runs cannot reach one by one: the record
// text with cycle windows and UMIs, the legacy cut of embedded index and UMI cycles, the
// duplicate-position filter, and the reset and merge of a slot's counts.
#include "classic/processing/create_fastq.h"
#include "classic/processing/cycle_ranges.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// A CreateFastq with a quiet log, outside any run.
struct Quiet {
    AlgorithmFramework::Log log;
    AlgorithmFramework::Blackboard blackboard{log};
    CreateFastq run{"create_fastq", log, blackboard};
    Quiet() { log.echo = false; }
};

TEST(RecordText, NameAndCycleWindow)
{
    struct Case {
        std::string umi_tag, umi;
        bool chimera;
        std::pair<std::uint64_t, std::uint64_t> window; // (0, 0): none
        std::string expected;
    };
    const Case cases[] = {
        {"", "", false, {0, 0}, "@I:R:F:1:01001:5:-7 2:N:0\nACGTA\n+\nABCDE\n"},
        {"", "AC+GT", true, {0, 0}, "@I:R:F:1:01001:5:-7:AC+GT 2:Y:0\nACGTA\n+\nABCDE\n"},
        {"RX", "ACGT", false, {0, 0}, "@I:R:F:1:01001:5:-7 RX:Z:ACGT\nACGTA\n+\nABCDE\n"},
        {"RX", "", true, {0, 0}, "@I:R:F:1:01001:5:-7\nACGTA\n+\nABCDE\n"},
        {"", "", false, {2, 3}, "@I:R:F:1:01001:5:-7 2:N:0\nCG\n+\nBC\n"},
        {"", "", false, {4, 40}, "@I:R:F:1:01001:5:-7 2:N:0\nTA\n+\nDE\n"},
        {"", "", false, {9, 12}, "@I:R:F:1:01001:5:-7 2:N:0\nA\n+\nE\n"},
    };
    for (const Case& c : cases) {
        Quiet q;
        q.run.instrument_id = "I";
        q.run.run_id = "R";
        q.run.flowcell_id = "F";
        q.run.umi_tag = c.umi_tag;
        if (c.window.second != 0)
            q.run.sample_sheet_local.cycle_windows[2] = c.window;
        ZelData data;
        data.sequence = "ACGTA";
        data.quality = "ABCDE";
        std::string text;
        q.run.append_read_name(text, "1:01001", "5", "-7", 2, c.chimera, c.umi);
        q.run.append_read_data(2, text, data);
        EXPECT_EQ(text, c.expected) << c.umi_tag << " " << c.umi << " " << c.window.first;
    }
}

TEST(LegacyCut, EmbeddedCyclesAreCutOnce)
{
    struct Case {
        std::map<int, int> ranges;
        std::string sequence, expected;
    };
    const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
    const Case cases[] = {
        {{{1, 8}}, twenty, "IJKLMNOPQRST"},
        {{{5, 12}}, twenty, "ABCDMNOPQRST"},
        {{{1, 4}, {9, 12}}, twenty, "EFGHMNOPQRST"},
        {{{1, 16}, {5, 12}}, twenty, "QRST"},         // nested: the union is cut
        {{{3, 6}, {5, 9}}, twenty, "ABJKLMNOPQRST"},  // overlapping
        {{{2, 8}, {4, 30}}, twenty, "A"},             // runs past the end
        {{{1, 10}, {11, 20}}, twenty, "N"},           // nothing left
        {{{25, 30}}, twenty, twenty},                 // beyond the read
    };
    for (const Case& c : cases) {
        std::string sequence = c.sequence;
        std::string quality = c.sequence;
        classic::cut_cycle_ranges(c.ranges, sequence, quality);
        EXPECT_EQ(sequence, c.expected) << c.ranges.begin()->first;
        EXPECT_EQ(quality, c.expected == "N" ? "!" : c.expected);
    }
}

// Two reads of five spots: spot 0 shares its place with read 2's spot 4, spot 2 has a negative
// position, spot 3 has no call in read 1; spot 1 sits at a coordinate far beyond any grid.
struct FilterCase {
    bool second_read_positions;
    std::vector<std::string> kept_x; // x of the records written for read 1
};

TEST(PositionFilter, DropsDuplicatedMissingAndNoCallPlaces)
{
    const FilterCase cases[] = {
        {true, {"2000000000"}},
        {false, {"10", "2000000000", "-3", "40"}}, // without read 2's positions: only the no-call test
    };
    for (const FilterCase& c : cases) {
        Quiet q;
        q.run.read_numbers = {1, 2};
        q.run.lane_demux.resize(2);
        TileData tile;
        tile.zel_data.resize(2);
        tile.read_data.resize(2);
        tile.spot_data.resize(5);
        const int xs[2][5] = {{10, 2000000000, -3, 30, 40}, {10, 2000000000, -3, 30, 10}};
        for (int r = 0; r < 2; ++r) {
            ZelData& zel = tile.zel_data[std::size_t(r)];
            zel.spots = 5;
            zel.cycles = 2;
            zel.bases = matrix<char>(5, 2);
            zel.quals = matrix<unsigned char>(5, 2);
            zel.has_positions = r == 0 || c.second_read_positions;
            zel.positions = matrix<int>(zel.has_positions ? 5 : 0, 2);
            for (std::uint64_t s = 0; s < 5; ++s) {
                const bool call = !(r == 0 && s == 3);
                zel.bases(s, 0) = call ? 'A' : '.';
                zel.bases(s, 1) = call ? 'C' : '.';
                zel.quals(s, 0) = zel.quals(s, 1) = 30;
                if (zel.has_positions) {
                    zel.positions(s, 0) = xs[r][s];
                    zel.positions(s, 1) = 7;
                }
            }
        }
        PositionMask mask;
        q.run.remove_duplicate_positions(tile, mask);
        EXPECT_LE(mask.size(), 5u);
        std::string tag = "1:01001";
        q.run.process_tile_reads(0, tile, tag, mask);
        std::vector<std::string> kept_x;
        const std::string& text = tile.read_data[0].sample_fastq;
        for (std::size_t at = 0; (at = text.find("1:01001:", at)) != std::string::npos; ++at)
            kept_x.push_back(text.substr(at + 8, text.find(':', at + 8) - at - 8));
        EXPECT_EQ(kept_x, c.kept_x);
        EXPECT_EQ(tile.read_data[0].counts.reads, c.kept_x.size());
        EXPECT_EQ(tile.read_data[1].counts.reads, c.kept_x.size());
        EXPECT_EQ(tile.read_data[0].counts.sample_bases, 2 * c.kept_x.size());
    }
}

TEST(Counts, SlotsAddIntoTheLaneTotals)
{
    Quiet q;
    q.run.read_numbers = {1};
    q.run.control_classes = {{"LQC", true}};
    q.run.sample_names = {{"S1", true}};
    q.run.lane_tiles.resize(2);
    q.run.lane_counts.assign(2, std::vector<Counts>(1));
    q.run.lane_counts[1][0].initialize(q.run.control_classes, q.run.sample_names);
    q.run.lane_tiles[1].resize(2);
    for (int s = 0; s < 2; ++s) {
        TileData& slot = q.run.lane_tiles[1][std::size_t(s)];
        slot.read_data.resize(1);
        Counts& counts = slot.read_data[0].counts;
        counts.initialize(q.run.control_classes, q.run.sample_names);
        counts.reads = 3;
        counts.control_reads_by_class["LQC"] = 2;
        counts.sample_bases_by_id["S1"] = 5;
        counts.sample_lengths[28] = 1;
        counts.quality_errors[30] = {4, 5};
        counts.control_qualities_by_class["LQC"][20] = 6;
        q.run.update_counts(1, std::uint64_t(s));
    }
    const Counts& lane = q.run.lane_counts[1][0];
    EXPECT_EQ(lane.reads, 6u);
    EXPECT_EQ(lane.control_reads_by_class.at("LQC"), 4u);
    EXPECT_EQ(lane.sample_bases_by_id.at("S1"), 10u);
    EXPECT_EQ(lane.sample_lengths.at(28), 2u);
    EXPECT_EQ(lane.quality_errors.at(30), std::make_pair(std::uint64_t(8), std::uint64_t(10)));
    EXPECT_EQ(lane.control_qualities_by_class.at("LQC").at(20), 12u);
    EXPECT_EQ(q.run.lane_counts[0][0].reads, 0u);
}

// A slot that held a tile's counts and records, then takes a tile whose base-call file is
// damaged: the tile is not written, and nothing of the earlier tile is counted again.
TEST(Counts, SlotIsResetForEveryTile)
{
    test_support::TempDir dir("classic-slot");
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = dir.path() / "run";
    recipe.lanes = 1;
    recipe.tiles = 1;
    recipe.zel_subfolder = true;
    const runsim::RunTruth run = runsim::generate_run(recipe);
    runsim::inject_fault(run, runsim::Fault::FlippedDeflateByte, {1, 1, 2, -1, {}});

    Quiet q;
    q.run.input = run.run_folder.string();
    q.run.read_numbers = {1, 2, 3, 4};
    q.run.lane_demux.resize(2);
    q.run.lane_counts.assign(2, std::vector<Counts>(4));
    q.run.lane_tiles.resize(2);
    q.run.lane_tiles[0].resize(1);
    TileData& slot = q.run.lane_tiles[0][0];
    slot.zel_data.resize(4);
    slot.read_data.resize(4);
    for (ReadData& read : slot.read_data) {
        read.counts.reads = 7;
        read.counts.sample_lengths[30] = 7;
        read.counts.quality_errors[30] = {7, 7};
        read.sample_fastq = "@old\n";
    }
    q.run.output_fastq(0, 0, 1, run.tile(1, 1).folder.string() + "/zel");
    EXPECT_EQ(q.log.errors, 1);
    for (const ReadData& read : slot.read_data) {
        EXPECT_EQ(read.sample_fastq, "");
        EXPECT_EQ(read.counts.reads, 0u);
        EXPECT_TRUE(read.counts.sample_lengths.empty());
        EXPECT_TRUE(read.counts.quality_errors.empty());
    }
    q.run.update_counts(0, 0);
    EXPECT_EQ(q.run.lane_counts[0][3].reads, 0u);
    EXPECT_TRUE(q.run.lane_counts[0][3].quality_errors.empty());
}

} // namespace
