// Sample assignment of the classic program: the lookup table with its one-letter variants, the
// edit-distance scan, undetermined counts, UMIs and the spot-count check, on tiles built by hand.
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"
#include "classic/processing/create_fastq.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

constexpr unsigned char High_quality = 30; // upper-case letters in the spot texts
constexpr unsigned char Low_quality = 5;   // lower-case letters

// A CreateFastq with the sheet of a run of three reads (12 cycles, then index reads 1 and 2 of
// 8 cycles), whose lane folders exist, and its sample table built by log_sample_sheet.
class DemuxRun {
public:
    DemuxRun(int i1, int i2, const std::vector<IndexData>& rows, bool has_l02 = true)
    {
        log.echo = false;
        std::filesystem::create_directories(dir.path() / "L01");
        if (has_l02)
            std::filesystem::create_directories(dir.path() / "L02");
        fastq.input = dir.path().string();
        fastq.read_numbers = {1, 2, 3};
        fastq.read_cycles = {12, 8, 8};
        fastq.design_sheet.quillon_settings.I1Mismatches = i1;
        fastq.design_sheet.quillon_settings.I2Mismatches = i2;
        fastq.sample_sheet_local.index_reads = {{2, "Index1", 1, 8}, {3, "Index2", 1, 8}};
        fastq.sample_sheet_local.index_data = rows;
        fastq.lane_demux.resize(2);
        fastq.log_sample_sheet("sheet.csv");
    }

    // Demultiplexes one tile whose spots are given as their reads' texts.
    bool demux(const std::vector<std::vector<std::string>>& spots, std::uint64_t lane = 0)
    {
        tile = tile_of(spots);
        return fastq.demux(lane, tile, "1:01001");
    }

    // The tile of the given spots' read texts; shorter texts end in no-calls, lower-case letters
    // have a low quality.
    TileData tile_of(const std::vector<std::vector<std::string>>& spots) const
    {
        TileData made;
        made.zel_data.assign(3, ZelData{});
        for (std::size_t r = 0; r < 3; ++r) {
            ZelData& read = made.zel_data[r];
            read.spots = spots.size();
            read.cycles = fastq.read_cycles[r];
            read.bases.resize(read.spots, read.cycles);
            read.quals.resize(read.spots, read.cycles);
            for (std::size_t s = 0; s < spots.size(); ++s) {
                for (std::uint64_t c = 0; c < read.cycles; ++c) {
                    const char letter = c < spots[s][r].size() ? spots[s][r][c] : '.';
                    read.bases(s, c) = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
                    read.quals(s, c) = std::islower(static_cast<unsigned char>(letter)) ? Low_quality : High_quality;
                }
            }
        }
        return made;
    }

    short sample_of(const std::string& index1, const std::string& index2)
    {
        EXPECT_TRUE(demux({{"ACGTACGTACGT", index1, index2}}));
        return tile.spot_data.at(0).sample;
    }

    test_support::TempDir dir;
    AlgorithmFramework::Log log;
    AlgorithmFramework::Blackboard blackboard{log};
    CreateFastq fastq{"create_fastq", log, blackboard};
    TileData tile;
};

IndexData row(int lane, const std::string& id, const std::string& index1, const std::string& index2)
{
    return {lane, id, index1, index2, "", ""};
}

TEST(ClassicDemuxTable, VariantsBySettingLaterRowsOwnSharedKeys)
{
    const struct {
        const char* name;
        int i1, i2;
        std::vector<IndexData> rows;
        std::size_t size;
        std::vector<std::tuple<short, std::string, short>> keys; // lane index, key, sample (-1: absent)
    } cases[] = {
        {"one letter in each index", 1, 1, {row(1, "a", "AC", "GT")}, 81,
         {{0, "ACGT", 0}, {0, "NCGA", 0}, {0, "GGGT", -1}, {1, "ACGT", -1}}},
        {"one letter in index 1", 1, 0, {row(1, "a", "AC", "GT")}, 9, {{0, "AGGT", 0}, {0, "ACGA", -1}}},
        {"one letter in index 2", 0, 1, {row(1, "a", "AC", "GT")}, 9, {{0, "ACGA", 0}, {0, "AGGT", -1}}},
        {"exact keys only", 0, 0, {row(1, "a", "AC", "GT")}, 1, {{0, "ACGT", 0}, {0, "ACGA", -1}}},
        {"only index 1 present", 1, 1, {row(1, "a", "AC", "")}, 9, {{0, "AN", 0}}},
        {"scan mode keeps exact keys", 2, 1, {row(1, "a", "AC", "GT")}, 1, {{0, "ACGT", 0}, {0, "ACGA", -1}}},
        {"a later row owns the keys it shares, lanes apart", 1, 0,
         {row(1, "a", "AAAA", ""), row(1, "b", "AAAC", ""), row(2, "c", "AAAA", "")}, 29 + 17,
         {{0, "AAAA", 1}, {0, "AAAG", 1}, {0, "CAAA", 0}, {1, "AAAA", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DemuxRun run(c.i1, c.i2, c.rows);
        EXPECT_EQ(run.fastq.demux_table.size(), c.size);
        for (const auto& [lane, key, sample] : c.keys) {
            const auto found = run.fastq.demux_table.find({lane, key});
            EXPECT_EQ(found == run.fastq.demux_table.end() ? -1 : found->second, sample) << key;
        }
    }
}

TEST(ClassicDemuxTable, OutputsOnlyForLanesOfTheRun)
{
    DemuxRun run(1, 1, {row(1, "a", "ACGTACGT", "TTGGCCAA"), row(2, "b", "GGGGAAAA", "CCCCTTTT")}, false);
    ASSERT_EQ(run.fastq.lane_demux.size(), 2u);
    EXPECT_EQ(run.fastq.lane_demux[0].size(), 3u); // one output per read
    EXPECT_EQ(run.fastq.lane_demux[0].at({0, 2}).read, 3);
    EXPECT_TRUE(run.fastq.lane_demux[1].empty()); // no L02 folder
    EXPECT_EQ(run.fastq.demux_key_length, 16u);
}

TEST(ClassicDemux, SamplesOfSpotsInBothModes)
{
    const std::vector<IndexData> two = {row(1, "a", "ACGTACGT", "TTGGCCAA"), row(1, "b", "GGGGAAAA", "CCCCTTTT"),
                                        row(2, "c", "TTTTTTTT", "ACGTACGT")};
    const struct {
        const char* name;
        int i1, i2;
        unsigned char cutoff;
        std::vector<IndexData> rows;
        std::string index1, index2;
        short sample;
        std::uint64_t undetermined; // the spot's count under its observed key
    } cases[] = {
        {"table: exact", 1, 1, 20, two, "ACGTACGT", "TTGGCCAA", 0, 0},
        {"table: one letter off in each index", 1, 1, 20, two, "ACGTACGA", "TAGGCCAA", 0, 0},
        {"table: two letters off", 1, 1, 20, two, "ACGTACAA", "TTGGCCAA", -1, 1},
        {"table: another lane's sample", 1, 1, 20, two, "TTTTTTTT", "ACGTACGT", -1, 1},
        {"table: a base under the cut-off misses", 0, 0, 20, two, "ACGTACGt", "TTGGCCAA", -1, 1},
        {"table: a base at the cut-off is kept", 0, 0, 5, two, "ACGTACGt", "TTGGCCAA", 0, 0},
        {"scan: leading N compares the rest, from later cycles", 2, 0, 0, {row(1, "a", "ACGTACGT", "NNGTACGT")},
         "ACGTACGT", "TTGTACGT", 0, 0},
        {"scan: trailing N shortens the comparison", 2, 0, 0, {row(1, "a", "ACGTACGT", "ACGTACNN")}, "ACGTACGT",
         "ACGTACGG", 0, 0},
        {"scan: a base under the cut-off becomes N", 2, 0, 20, {row(1, "a", "ACGTACGT", "ACGTACGT")}, "ACGTACGT",
         "ACGTACGt", -1, 1},
        {"scan: within the limit", 2, 0, 20, {row(1, "a", "ACGTACGT", "ACGTACGT")}, "ACGTTTGT", "ACGTACGT", 0, 0},
        {"scan: several matches are undetermined, not counted for a known key", 2, 0, 0,
         {row(1, "a", "ACGTACGT", "TTGGCCAA"), row(1, "b", "ACGTACGA", "TTGGCCAA")}, "ACGTACGT", "TTGGCCAA", -1, 0},
        {"scan: a negative setting takes the allowed mismatches (0)", 2, -1, 0, {row(1, "a", "ACGTACGT", "ACGTACGT")},
         "ACGTACGT", "ACGTACGA", -1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DemuxRun run(c.i1, c.i2, c.rows);
        run.fastq.qscore_cutoff = c.cutoff;
        EXPECT_EQ(run.sample_of(c.index1, c.index2), c.sample);
        std::string observed = c.index1 + c.index2;
        for (char& letter : observed)
            letter = std::islower(static_cast<unsigned char>(letter)) && c.cutoff > Low_quality ? 'N' : std::toupper(letter);
        const auto counted = run.fastq.undetermined.find({0, observed});
        EXPECT_EQ(counted == run.fastq.undetermined.end() ? 0 : counted->second, c.undetermined);
        EXPECT_EQ(run.fastq.undetermined.size(), c.undetermined);
    }
}

TEST(ClassicDemux, UmisJoinReadsAndFillPastTheEnd)
{
    const struct {
        std::string tag;
        std::uint64_t qscores;
        std::string umi;
    } cases[] = {
        {"", 0, "ACGT+GANN"},
        {"RX", 0, "ACGT-GANN"},
        {"", 1, "ACGT+GANN:?&??+?&!!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.umi);
        DemuxRun run(1, 1, {});
        run.fastq.umi_tag = c.tag;
        run.fastq.umi_qscores = c.qscores;
        run.fastq.sample_sheet_local.umi_reads = {{1, 1, 4}, {3, 5, 8}, {9, 1, 2}}; // read 9 is not in the run
        ASSERT_TRUE(run.demux({{"AcGTACGTACGT", "ACGTACGT", "TTGGGa"}}));
        EXPECT_EQ(run.tile.spot_data.at(0).umi, c.umi);
        EXPECT_EQ(run.tile.spot_data.at(0).sample, -1); // no samples
    }
}

TEST(ClassicDemux, UndeterminedCountsAreExactAcrossTileThreads)
{
    DemuxRun run(0, 0, {row(1, "a", "ACGTACGT", "TTGGCCAA")});
    const std::vector<std::vector<std::string>> spots(200, {"ACGTACGTACGT", "CCCCCCCC", "AAAAAAAA"});
    std::vector<TileData> tiles(4, run.tile_of(spots));
    std::vector<std::thread> threads;
    for (TileData& tile : tiles)
        threads.emplace_back([&run, &tile] { run.fastq.demux(1, tile, "2:01001"); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(run.fastq.undetermined.at({1, "CCCCCCCCAAAAAAAA"}), 800u);
}

TEST(ClassicDemux, EveryReadMustHoldTheTilesSpots)
{
    DemuxRun run(1, 1, {row(1, "a", "ACGTACGT", "TTGGCCAA")});
    ASSERT_TRUE(run.demux({{"ACGTACGTACGT", "ACGTACGT", "TTGGCCAA"}, {"ACGT", "ACGT", "ACGT"}}));
    run.tile.zel_data[1].spots = 1;
    EXPECT_FALSE(run.fastq.demux(0, run.tile, "1:01001"));
    run.tile.zel_data[0].spots = 0; // a first read without spots is checked too
    EXPECT_FALSE(run.fastq.demux(0, run.tile, "1:01001"));
    EXPECT_TRUE(run.tile.spot_data.empty());
    EXPECT_EQ(run.log.errors, 2);
}

} // namespace
