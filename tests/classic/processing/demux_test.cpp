// Sample assignment of the classic program: the lookup table with its one-letter variants, the
// edit-distance scan, undetermined counts, UMIs and the spot-count check, on tiles built by hand;
// the table of index texts that holds the lookup table and the counts.
#include "tests/classic/classic_state.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// A CreateFastq with the sheet of a run of three reads (12 cycles, then index reads 1 and 2 of
// 8 cycles), whose lane folders exist, and its sample table built by log_sample_sheet.
class DemuxRun : public ClassicState {
public:
    DemuxRun(int i1, int i2, const std::vector<IndexData>& rows, bool has_l02 = true)
    {
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

    short sample_of(const std::string& index1, const std::string& index2)
    {
        EXPECT_TRUE(demux({{"ACGTACGTACGT", index1, index2}}));
        return tile.spot_data.at(0).sample;
    }

    test_support::TempDir dir;
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
        {"one letter in each index",
         1,
         1,
         {row(1, "a", "AC", "GT")},
         81,
         {{0, "ACGT", 0}, {0, "NCGA", 0}, {0, "GGGT", -1}, {1, "ACGT", -1}}},
        {"one letter in index 1", 1, 0, {row(1, "a", "AC", "GT")}, 9, {{0, "AGGT", 0}, {0, "ACGA", -1}}},
        {"one letter in index 2", 0, 1, {row(1, "a", "AC", "GT")}, 9, {{0, "ACGA", 0}, {0, "AGGT", -1}}},
        {"exact keys only", 0, 0, {row(1, "a", "AC", "GT")}, 1, {{0, "ACGT", 0}, {0, "ACGA", -1}}},
        {"only index 1 present", 1, 1, {row(1, "a", "AC", "")}, 9, {{0, "AN", 0}}},
        {"scan mode keeps exact keys", 2, 1, {row(1, "a", "AC", "GT")}, 1, {{0, "ACGT", 0}, {0, "ACGA", -1}}},
        {"a later row owns the keys it shares, lanes apart",
         1,
         0,
         {row(1, "a", "AAAA", ""), row(1, "b", "AAAC", ""), row(2, "c", "AAAA", "")},
         29 + 17,
         {{0, "AAAA", 1}, {0, "AAAG", 1}, {0, "CAAA", 0}, {1, "AAAA", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DemuxRun run(c.i1, c.i2, c.rows);
        EXPECT_EQ(run.fastq.demux_table.size(), c.size);
        for (const auto& [lane, key, sample] : c.keys) {
            const short* found = run.fastq.demux_table.find(lane, key);
            EXPECT_EQ(found == nullptr ? -1 : *found, sample) << key;
        }
    }
}

// Texts packed in one word, in two, or kept as they are, in two lanes: each is found under its
// lane only, summed by add and listed back whole.
TEST(ClassicIndexTable, EveryKindOfTextKeepsItsValue)
{
    const std::vector<std::string> texts = {"ACGTN", std::string(30, 'G') + "T", std::string(50, 'A'), "ACGx"};
    IndexTable<std::uint64_t> table;
    IndexTable<std::uint64_t> more;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        table.insert(1, texts[i]) = i + 1;
        more.insert(1, texts[i]) = 10;
    }
    more.insert(0, texts[0]) = 5;
    table.add(more);
    std::map<std::pair<short, std::string>, std::uint64_t> listed;
    table.for_each([&](short lane, const std::string& text, std::uint64_t value) { listed[{lane, text}] = value; });
    EXPECT_EQ(listed.size(), 5u);
    EXPECT_EQ(table.size(), 5u);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ASSERT_NE(table.find(1, texts[i]), nullptr) << texts[i];
        EXPECT_EQ(*table.find(1, texts[i]), i + 11) << texts[i];
        EXPECT_EQ(listed.at({1, texts[i]}), i + 11) << texts[i];
    }
    EXPECT_EQ(listed.at({0, texts[0]}), 5u);
    EXPECT_EQ(table.find(0, texts[1]), nullptr);
}

TEST(ClassicDemuxTable, OutputsOnlyForLanesOfTheRun)
{
    DemuxRun run(1, 1, {row(1, "a", "ACGTACGT", "TTGGCCAA"), row(2, "b", "GGGGAAAA", "CCCCTTTT")}, false);
    EXPECT_EQ(run.fastq.lane_demux[0].size(), 3u); // one output per read
    EXPECT_TRUE(run.fastq.lane_demux[1].empty());  // no L02 folder
}

// Exact, one-letter and two-letter matches of the table are checked end to end.
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
        {"table: another lane's sample", 1, 1, 20, two, "TTTTTTTT", "ACGTACGT", -1, 1},
        {"table: a base under the cut-off misses", 0, 0, 20, two, "ACGTACGt", "TTGGCCAA", -1, 1},
        {"table: a base at the cut-off is kept", 0, 0, 5, two, "ACGTACGt", "TTGGCCAA", 0, 0},
        {"scan: leading N compares the rest, from later cycles",
         2,
         0,
         0,
         {row(1, "a", "ACGTACGT", "NNGTACGT")},
         "ACGTACGT",
         "TTGTACGT",
         0,
         0},
        {"scan: trailing N shortens the comparison",
         2,
         0,
         0,
         {row(1, "a", "ACGTACGT", "ACGTACNN")},
         "ACGTACGT",
         "ACGTACGG",
         0,
         0},
        {"scan: a base under the cut-off becomes N",
         2,
         0,
         20,
         {row(1, "a", "ACGTACGT", "ACGTACGT")},
         "ACGTACGT",
         "ACGTACGt",
         -1,
         1},
        {"scan: within the limit", 2, 0, 20, {row(1, "a", "ACGTACGT", "ACGTACGT")}, "ACGTTTGT", "ACGTACGT", 0, 0},
        {"scan: several matches are undetermined, not counted for a known key",
         2,
         0,
         0,
         {row(1, "a", "ACGTACGT", "TTGGCCAA"), row(1, "b", "ACGTACGA", "TTGGCCAA")},
         "ACGTACGT",
         "TTGGCCAA",
         -1,
         0},
        {"scan: a negative setting takes the allowed mismatches (0)",
         2,
         -1,
         0,
         {row(1, "a", "ACGTACGT", "ACGTACGT")},
         "ACGTACGT",
         "ACGTACGA",
         -1,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DemuxRun run(c.i1, c.i2, c.rows);
        run.fastq.qscore_cutoff = c.cutoff;
        EXPECT_EQ(run.sample_of(c.index1, c.index2), c.sample);
        std::string observed = c.index1 + c.index2;
        for (char& letter : observed) {
            const bool low = std::islower(static_cast<unsigned char>(letter)) != 0;
            letter = low && c.cutoff > ClassicState::Low_quality ? 'N' : static_cast<char>(std::toupper(letter));
        }
        const std::uint64_t* counted = run.fastq.undetermined.find(0, observed);
        EXPECT_EQ(counted == nullptr ? 0 : *counted, c.undetermined);
        EXPECT_EQ(run.fastq.undetermined.size(), c.undetermined);
    }
}

// Low-quality bases are kept in the UMI, cycles past a read's end are no-calls, and a read the run
// lacks adds nothing.
TEST(ClassicDemux, UmisJoinReadsAndFillPastTheEnd)
{
    DemuxRun run(1, 1, {});
    run.fastq.umi_qscores = 1;
    run.fastq.sample_sheet_local.umi_reads = {{1, 1, 4}, {3, 5, 8}, {9, 1, 2}}; // read 9 is not in the run
    ASSERT_TRUE(run.demux({{"AcGTACGTACGT", "ACGTACGT", "TTGGGa"}}));
    EXPECT_EQ(run.tile.spot_data.at(0).umi, "ACGT+GANN:?&??+?&!!");
    EXPECT_EQ(run.tile.spot_data.at(0).sample, -1); // no samples
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
    ASSERT_NE(run.fastq.undetermined.find(1, "CCCCCCCCAAAAAAAA"), nullptr);
    EXPECT_EQ(*run.fastq.undetermined.find(1, "CCCCCCCCAAAAAAAA"), 800u);
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
