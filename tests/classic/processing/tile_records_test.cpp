// The pieces of a tile's records that the end-to-end runs cannot reach one by one: the record
// text with cycle windows and UMIs, the legacy cut of embedded index and UMI cycles, the
// duplicate-position filter, and the reset of a slot's counts.
#include "classic/processing/cycle_ranges.h"
#include "tests/classic/classic_state.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

TEST(RecordText, NameAndCycleWindow)
{
    struct Case {
        std::string umi_tag, umi;
        bool chimera;
        std::pair<std::uint64_t, std::uint64_t> window; // (0, 0): none
        std::string expected;
    };
    const Case cases[] = {
        {"", "AC+GT", true, {0, 0}, "@I:R:F:1:01001:5:-7:AC+GT 2:Y:0\nACGTA\n+\nABCDE\n"},
        {"RX", "", true, {0, 0}, "@I:R:F:1:01001:5:-7\nACGTA\n+\nABCDE\n"},
        {"", "", false, {2, 3}, "@I:R:F:1:01001:5:-7 2:N:0\nCG\n+\nBC\n"},
        {"", "", false, {4, 40}, "@I:R:F:1:01001:5:-7 2:N:0\nTA\n+\nDE\n"},
        {"", "", false, {9, 12}, "@I:R:F:1:01001:5:-7 2:N:0\nA\n+\nE\n"},
    };
    for (const Case& c : cases) {
        ClassicState state;
        state.fastq.instrument_id = "I";
        state.fastq.run_id = "R";
        state.fastq.flowcell_id = "F";
        state.fastq.umi_tag = c.umi_tag;
        if (c.window.second != 0)
            state.fastq.sample_sheet_local.cycle_windows[2] = c.window;
        ZelData data;
        data.sequence = "ACGTA";
        data.quality = "ABCDE";
        std::string text;
        state.fastq.append_read_name(text, "1:01001", "5", "-7", 2, c.chimera, c.umi);
        state.fastq.append_read_data(2, text, data);
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
        {{{1, 16}, {5, 12}}, twenty, "QRST"},        // nested: the union is cut
        {{{3, 6}, {5, 9}}, twenty, "ABJKLMNOPQRST"}, // overlapping
        {{{2, 8}, {4, 30}}, twenty, "A"},            // runs past the end
        {{{1, 10}, {11, 20}}, twenty, "N"},          // nothing left
        {{{25, 30}}, twenty, twenty},                // beyond the read
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
TEST(PositionFilter, DropsDuplicatedMissingAndNoCallPlaces)
{
    const struct {
        bool second_read_positions;
        std::vector<std::string> kept_x; // x of the records written for read 1
    } cases[] = {
        {true, {"2000000000"}},
        {false, {"10", "2000000000", "-3", "40"}}, // without read 2's positions: only the no-call test
    };
    for (const auto& c : cases) {
        ClassicState state;
        state.fastq.read_numbers = {1, 2};
        state.fastq.read_cycles = {2, 2};
        state.fastq.lane_demux.resize(2);
        TileData tile = state.tile_of({{"AC", "AC"}, {"AC", "AC"}, {"AC", "AC"}, {"", "AC"}, {"AC", "AC"}});
        tile.spot_data.resize(5);
        const int xs[2][5] = {{10, 2000000000, -3, 30, 40}, {10, 2000000000, -3, 30, 10}};
        for (int r = 0; r < 2; ++r) {
            ZelData& zel = tile.zel_data[std::size_t(r)];
            zel.has_positions = r == 0 || c.second_read_positions;
            zel.positions = matrix<int>(zel.has_positions ? 5 : 0, 2);
            for (std::uint64_t s = 0; zel.has_positions && s < 5; ++s) {
                zel.positions(s, 0) = xs[r][s];
                zel.positions(s, 1) = 7;
            }
        }
        PositionMask mask;
        state.fastq.remove_duplicate_positions(tile, mask);
        EXPECT_LE(mask.size(), 5u);
        std::string tag = "1:01001";
        state.fastq.process_tile_reads(0, tile, tag, mask);
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

// A slot that held a tile's counts and records, then takes a tile whose base-call files are
// empty: the tile is not written, and nothing of the earlier tile is counted again.
TEST(Counts, SlotIsResetForEveryTile)
{
    test_support::TempDir dir("classic-slot");
    const std::filesystem::path tile = dir.path() / "L01" / "S01_T001";
    for (const char* read : {"Read1", "Read2", "Read3", "Read4"}) {
        std::filesystem::create_directories(tile / read);
        std::ofstream(tile / read / "called_bases.zel");
    }
    ClassicState state;
    state.fastq.input = dir.path().string();
    state.fastq.read_numbers = {1, 2, 3, 4};
    state.fastq.lane_demux.resize(2);
    state.fastq.lane_counts.assign(2, std::vector<Counts>(4));
    state.fastq.lane_tiles.assign(2, std::vector<TileData>(1));
    TileData& slot = state.fastq.lane_tiles[0][0];
    slot.zel_data.resize(4);
    slot.read_data.resize(4);
    for (ReadData& read : slot.read_data) {
        read.counts.reads = 7;
        read.counts.sample_lengths[30] = 7;
        read.counts.quality_errors[30] = {7, 7};
        read.sample_fastq = "@old\n";
    }
    state.fastq.output_fastq(0, 0, 1, tile.string());
    EXPECT_GT(state.log.errors, 0); // the tile failed
    for (const ReadData& read : slot.read_data) {
        EXPECT_EQ(read.sample_fastq, "");
        EXPECT_EQ(read.counts.reads, 0u);
        EXPECT_TRUE(read.counts.sample_lengths.empty());
        EXPECT_TRUE(read.counts.quality_errors.empty());
    }
    state.fastq.update_counts(0, 0);
    EXPECT_EQ(state.fastq.lane_counts[0][3].reads, 0u);
    EXPECT_TRUE(state.fastq.lane_counts[0][3].quality_errors.empty());
}

} // namespace
