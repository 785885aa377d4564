// The run settings on generated runs: sheets' settings, lane and tile discovery, file checks,
// cycle counts and ranges, --repeat and the samples of each lane.
#include "common/quillon_sheet.h"
#include "common/sample_sheet.h"
#include "converter/app/config.h"
#include "converter/app/file_checks.h"
#include "tests/converter/app/config_test_support.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

runsim::RunRecipe recipe(int lanes, int tiles, const char* layout = "R1:30,I1:8,I2:8,R2:30")
{
    runsim::RunRecipe r = runsim::RunRecipe::small();
    r.lanes = lanes;
    r.tiles = tiles;
    r.spots = 10;
    r.samples = 2;
    r.layout = runsim::ReadLayout::parse(layout);
    r.keep_calls = false;
    r.spot_truth = false;
    r.manifest.clear();
    return r;
}

// The sheet's text with lines added at the top of its "Quillon Settings" section.
std::string with_settings(const fs::path& sheet, const std::string& lines)
{
    std::ifstream in(sheet, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string section = "[Quillon Settings]\n";
    return text.insert(text.find(section) + section.size(), lines);
}

std::vector<std::string> tile_names(const std::vector<TileFolder>& tiles)
{
    std::vector<std::string> names;
    for (const TileFolder& t : tiles)
        names.push_back("L" + std::to_string(t.lane) + "/" + t.folder.filename().string() + "#" +
                        std::to_string(t.tile));
    return names;
}

class ConfigSetupTest : public ::testing::Test {
protected:
    runsim::RunTruth make_run(runsim::RunRecipe r, const std::string& folder = "run")
    {
        r.out = dir_.path() / folder;
        runsim::RunTruth run = runsim::generate_run(r);
        config_.input_folder = run.run_folder;
        return run;
    }
    void load_sheets(const runsim::RunTruth& run, const std::string& design_lines = "",
                     const std::string& sample_lines = "")
    {
        design_ = QuillonSheet();
        samples_ = SampleSheet();
        std::vector<std::string> errors, warnings;
        ASSERT_TRUE(design_.load(with_settings(run.design_sheet, design_lines), errors, warnings));
        ASSERT_TRUE(samples_.load(with_settings(run.sample_sheet, sample_lines), errors, warnings))
            << (errors.empty() ? "" : errors[0]);
    }
    bool logged(const std::string& line) const
    {
        const auto lines = log_.lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    test_support::TempDir dir_{"config-setup"};
    config_test::LogCapture log_;
    Config config_;
    SampleSheet samples_;
    QuillonSheet design_;
};

TEST_F(ConfigSetupTest, LanesByFolderNumberAndTilesSortedWhateverTheListingOrder)
{
    const runsim::RunTruth source = make_run(
        [] {
            runsim::RunRecipe r = recipe(2, 3);
            r.surfaces = 2;
            return r;
        }(),
        "source");
    const fs::path run = dir_.path() / "run";
    const std::vector<std::string> order = {"S02_T003", "S01_T002", "S02_T001", "S01_T003", "S02_T002", "S01_T001"};
    for (const char* lane : {"L02", "L01"}) {
        fs::create_directories(run / lane);
        for (const std::string& tile : order)
            fs::rename(source.lanes_folder / lane / tile, run / lane / tile);
    }
    for (const char* ignored : {"L03/S01_T001", "L1/S01_T001", "L01x/S01_T001"})
        fs::create_directories(run / ignored);
    config_.input_folder = run;

    ASSERT_TRUE(config_.validate_data_files());
    ASSERT_EQ(config_.lane_tiles.size(), 2u);
    for (int lane = 1; lane <= 2; ++lane) {
        const std::string l = "L" + std::to_string(lane) + "/";
        EXPECT_EQ(tile_names(config_.lane_tiles[std::size_t(lane - 1)]),
                  (std::vector<std::string>{l + "S01_T001#1", l + "S01_T002#2", l + "S01_T003#3", l + "S02_T001#1",
                                            l + "S02_T002#2", l + "S02_T003#3"}));
        EXPECT_EQ(config_.lane_tiles[std::size_t(lane - 1)][0].zel_files[0],
                  run / ("L0" + std::to_string(lane)) / "S01_T001" / "R1.zel");
    }
    EXPECT_TRUE(logged("[WARN] Ignoring lane folder (only lanes 1 and 2 are converted): " + (run / "L03").string()));
    EXPECT_TRUE(logged("[INFO] File check passed."));
}

TEST_F(ConfigSetupTest, BaseCallsLayoutWithIncludedTilesInTheirOrder)
{
    runsim::RunRecipe r = recipe(2, 2);
    r.base_calls_folder = true;
    const runsim::RunTruth run = make_run(r);
    load_sheets(run, "IncludeTiles,\"L02/S01_T002,L01/S01_T002,L01/S01_T001\"\n");

    ASSERT_TRUE(config_.setup(samples_, design_));
    ASSERT_EQ(config_.lane_tiles.size(), 2u);
    EXPECT_EQ(tile_names(config_.lane_tiles[0]), (std::vector<std::string>{"L1/S01_T002#2", "L1/S01_T001#1"}));
    EXPECT_EQ(tile_names(config_.lane_tiles[1]), (std::vector<std::string>{"L2/S01_T002#2"}));
    EXPECT_EQ(config_.lane_tiles[1][0].folder, run.run_folder / "Base_Calls" / "L02" / "S01_T002");
    EXPECT_EQ(config_.num_lanes, 2);
    EXPECT_EQ(config_.num_reads, 4);
}

TEST_F(ConfigSetupTest, WithoutLaneOneNothingIsFound)
{
    const runsim::RunTruth run = make_run(recipe(2, 1));
    load_sheets(run, "IncludeTiles,L02/S01_T001\n");
    const std::string none = "[ERROR] Unable to locate any input files in '" + run.run_folder.string() + "'";
    EXPECT_FALSE(config_.setup(samples_, design_));
    EXPECT_TRUE(logged(none));

    fs::remove_all(run.run_folder / "L01");
    config_.IncludeTiles.clear();
    EXPECT_FALSE(config_.validate_data_files());
    EXPECT_EQ(log_.lines().back(), none);
}

TEST_F(ConfigSetupTest, SampleSheetTileListsReplaceTheDesignSheetsAndDropRepeats)
{
    const runsim::RunTruth run = make_run(recipe(1, 3));
    load_sheets(run, "IncludeTiles,\"L01/S01_T001,L01/S01_T002\"\nExcludeTiles,L01/S01_T002\n",
                "IncludeTiles,\"L01/S01_T003,L01/S01_T002,L01/S01_T003\"\n");
    ASSERT_TRUE(config_.setup(samples_, design_));
    EXPECT_EQ(tile_names(config_.lane_tiles[0]), (std::vector<std::string>{"L1/S01_T003#3", "L1/S01_T002#2"}));
    EXPECT_EQ(config_.ExcludeTiles.size(), 1u); // the sample sheet has no such key
    EXPECT_TRUE(logged("[WARN] IncludeTiles: Tile folder listed more than once: L01/S01_T003"));

    Config excluding;
    excluding.input_folder = run.run_folder;
    load_sheets(run, "ExcludeTiles,\"L01/S01_T001,L01/S01_T003\"\n", "ExcludeTiles,L01/S01_T003\n");
    ASSERT_TRUE(excluding.setup(samples_, design_));
    EXPECT_EQ(tile_names(excluding.lane_tiles[0]), (std::vector<std::string>{"L1/S01_T001#1", "L1/S01_T002#2"}));
}

TEST_F(ConfigSetupTest, BadTileEntriesFailTheSettings)
{
    const runsim::RunTruth run = make_run(recipe(1, 1));
    for (const char* entry : {"L03/S01_T001", "L00/S01_T001", "L01/S00_T001", "L01/S01_T000"}) {
        Config config;
        load_sheets(run, std::string("ExcludeTiles,") + entry + "\n");
        EXPECT_FALSE(config.load_settings(design_, design_.quillon_settings));
        EXPECT_EQ(log_.lines().back(), std::string("[ERROR] ExcludeTiles: Invalid tile folder name: ") + entry);
    }
    load_sheets(run, "IncludeTiles,\"L01/S01_T001,L01/S01_T009\"\n");
    EXPECT_FALSE(config_.load_settings(design_, design_.quillon_settings));
    EXPECT_EQ(log_.lines().back(),
              "[ERROR] Could not find folder: '" + quoted_path(run.run_folder / "L01/S01_T009") + "'");
}

TEST_F(ConfigSetupTest, RepeatAppendsNumberedCopiesWithinABound)
{
    const runsim::RunTruth run = make_run(recipe(2, 2));
    load_sheets(run);
    config_.repeat = 3;
    ASSERT_TRUE(config_.setup(samples_, design_));
    for (const auto& tiles : config_.lane_tiles) {
        ASSERT_EQ(tiles.size(), 6u);
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            EXPECT_EQ(tiles[i].tile, int(i) + 1);
            EXPECT_EQ(tiles[i].folder, tiles[i % 2].folder);
        }
    }

    for (const int repeat : {50001, INT_MAX}) {
        Config config;
        config.input_folder = run.run_folder;
        config.repeat = repeat;
        EXPECT_FALSE(config.setup(samples_, design_));
        EXPECT_EQ(log_.lines().back(), "[ERROR] Too many tiles with --repeat=" + std::to_string(repeat) +
                                           ": lane 1 would hold " + std::to_string(2LL * repeat) +
                                           " tiles (at most 100000)");
    }
}

struct MaskCase {
    std::string Config::*field;
    std::string mask;
    CycleRange Config::*range;
    CycleRange expected;
};

TEST_F(ConfigSetupTest, CycleRangesFollowTheMasks)
{
    make_run(recipe(1, 1, "R1:30,I1:8,I2:8,R2:30+2"));
    ASSERT_TRUE(config_.validate_data_files());
    const MaskCase cases[] = {
        {&Config::R1CycleUsage, "T1:Y*", &Config::R1_range, {1, 1, 30}},
        {&Config::R2CycleUsage, "T4:N2Y10", &Config::R2_range, {4, 3, 12}},
        {&Config::I1CycleUsage, "T2:N*Y6", &Config::I1_range, {2, 3, 8}},
        {&Config::I2CycleUsage, "T3:Y4N*", &Config::I2_range, {3, 1, 4}},
        {&Config::U1CycleUsage, "T1:N*Y5N3", &Config::U1_range, {1, 23, 27}},
        {&Config::U2CycleUsage, "T2:Y*N2", &Config::U2_range, {2, 1, 6}},
    };
    for (const MaskCase& c : cases)
        config_.*c.field = c.mask;
    ASSERT_TRUE(config_.initialize_computed_settings(samples_));
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(c.mask);
        EXPECT_EQ((config_.*c.range).read, c.expected.read);
        EXPECT_EQ((config_.*c.range).first, c.expected.first);
        EXPECT_EQ((config_.*c.range).last, c.expected.last);
    }
    EXPECT_TRUE(config_.roles_configured);
    EXPECT_EQ(config_.cycles, (std::vector<int>{30, 8, 8, 32}));
    EXPECT_EQ(config_.extra_cycles, (std::vector<int>{0, 0, 0, 2}));
    EXPECT_EQ(config_.read_ranges[3].last, 30);

    for (const MaskCase& c : cases)
        config_.*c.field = "";
    ASSERT_TRUE(config_.initialize_computed_settings(samples_));
    EXPECT_FALSE(config_.roles_configured);
    EXPECT_EQ(config_.U1_range.read, 0);
}

TEST_F(ConfigSetupTest, MasksOutsideTheRunFailTheSetUp)
{
    make_run(recipe(1, 1, "R1:30,I1:8"));
    ASSERT_TRUE(config_.validate_data_files());
    const std::tuple<std::string Config::*, std::string, std::string> cases[] = {
        {&Config::I2CycleUsage, "T3:Y8", "I2CycleUsage 'T3:Y8': no read 3 in this run of 2 reads"},
        {&Config::R1CycleUsage, "T1:N*Y40", "R1CycleUsage 'T1:N*Y40': cycles -9 to 30 do not fit read 1 of 30 cycles"},
        {&Config::U1CycleUsage, "T2:N5Y*N5", "U1CycleUsage 'T2:N5Y*N5': cycles 6 to 3 do not fit read 2 of 8 cycles"},
    };
    for (const auto& [field, mask, message] : cases) {
        config_.*field = mask;
        EXPECT_FALSE(config_.initialize_computed_settings(samples_));
        EXPECT_EQ(log_.lines().back(), "[ERROR] " + message);
        config_.*field = "";
    }
    config_.I1CycleUsage = "T2:N4Y10"; // ends beyond the read: a warning only
    EXPECT_TRUE(config_.initialize_computed_settings(samples_));
    EXPECT_EQ(log_.lines().back(), "[WARN] I1CycleUsage 'T2:N4Y10': cycles 5 to 14 reach beyond read 2 of 8 cycles");
}

TEST_F(ConfigSetupTest, SamplesPerLaneSortedAndOtherLanesDropped)
{
    make_run(recipe(1, 1));
    ASSERT_TRUE(config_.validate_data_files());
    samples_.loaded = true;
    for (const auto& [lane, name] : std::vector<std::pair<int, std::string>>{
             {2, "c"}, {1, "b"}, {1, "\xc3\xa9"}, {1, "Z"}, {0, "no lane"}, {1, "a"}})
        samples_.samples.push_back({lane, name, "ACGT", ""});
    ASSERT_TRUE(config_.initialize_computed_settings(samples_));
    ASSERT_EQ(config_.lane_samples.size(), 1u);
    std::vector<std::string> names;
    for (const Sample& s : config_.lane_samples[0])
        names.push_back(s.Biosample);
    EXPECT_EQ(names, (std::vector<std::string>{"Z", "a", "b", "\xc3\xa9"}));
}

struct FileCase {
    std::string name;
    std::function<void(const fs::path& t1, const fs::path& t2)> damage;
    std::function<std::string(const fs::path& t1, const fs::path& t2)> message;
};

void PrintTo(const FileCase& c, std::ostream* os)
{
    *os << c.name;
}

class FileChecks : public ConfigSetupTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(FileChecks, FailWithTheirMessage)
{
    const runsim::RunTruth run = make_run(recipe(1, 2));
    const fs::path t1 = run.tile(1, 1).folder, t2 = run.tile(1, 2).folder;
    GetParam().damage(t1, t2);
    EXPECT_FALSE(config_.validate_data_files());
    EXPECT_TRUE(logged("[ERROR] " + GetParam().message(t1, t2))) << GetParam().message(t1, t2);
    EXPECT_EQ(log_.lines().back(), "[ERROR] File check failed.");
}

INSTANTIATE_TEST_SUITE_P(
    RunFolder, FileChecks,
    ::testing::Values(
        FileCase{"MissingPositionsFile", [](auto, auto t2) { fs::remove(t2 / "R4_positions"); },
                 [](auto, auto t2) { return "Inconsistant number of position files in tile folder: " + t2.string(); }},
        FileCase{"MissingZelFile", [](auto, auto t2) { fs::remove(t2 / "R4.zel"); },
                 [](auto, auto t2) { return "Inconsistant number of .zel files in tile folder: " + t2.string(); }},
        FileCase{"GapInReadNumbers",
                 [](auto t1, auto t2) {
                     for (const fs::path& tile : {t1, t2})
                         for (const char* f : {"R2.zel", "R2_positions", "R4.zel", "R4_positions"})
                             fs::remove(tile / f);
                 },
                 [](auto t1, auto) { return "zel file in tile folder: " + t1.string() + " not specified"; }},
        FileCase{"NoZelFiles",
                 [](auto t1, auto) {
                     for (int r = 1; r <= 4; ++r)
                         fs::remove(runsim::zel_file_name(t1, r));
                 },
                 [](auto t1, auto) { return "Missing .zel files in '" + t1.string() + "'"; }},
        FileCase{"DuplicateReadNumber",
                 [](auto, auto t2) {
                     fs::create_directories(t2 / "old");
                     fs::copy_file(t2 / "R1.zel", t2 / "old" / "r01.zel");
                 },
                 [](auto, auto t2) { return "More than one file for read 1: " + (t2 / "R1.zel").string(); }},
        FileCase{"ReadNumberFive", [](auto t1, auto) { fs::copy_file(t1 / "R1.zel", t1 / "R5.zel"); },
                 [](auto t1, auto) { return "Read number not in 1 to 4 in file name: " + (t1 / "R5.zel").string(); }}),
    [](const ::testing::TestParamInfo<FileCase>& test_info) { return test_info.param.name; });

TEST_F(ConfigSetupTest, BadFirstTileHeadersFailWithoutException)
{
    const runsim::RunTruth run = make_run(recipe(1, 1));
    const fs::path r2 = run.tile(1, 1).zel_files[1];
    ASSERT_TRUE(config_.validate_data_files());

    runsim::FaultTarget read2;
    read2.read = 2;
    runsim::inject_fault(run, runsim::Fault::NotGzip, read2);
    EXPECT_FALSE(config_.initialize_computed_settings(samples_));
    EXPECT_EQ(log_.lines().back(),
              "[ERROR] Exception detected during initialization: " + r2.string() + ": File format error.");
    EXPECT_EQ(config_.lane_samples.size(), 1u); // the samples are still set

    runsim::ZelHeader header;
    header.spots = 10;
    header.cycles = 8;
    header.extra_cycles = 8;
    runsim::write_zel_file(r2, header, std::vector<unsigned char>(80), {});
    EXPECT_FALSE(config_.initialize_computed_settings(samples_));
    EXPECT_EQ(log_.lines().back(), "[ERROR] Read length below 1 cycle in .zel file: " + quoted_path(r2));

    runsim::inject_fault(run, runsim::Fault::WrongVersion); // read 1 of the first tile
    EXPECT_FALSE(config_.initialize_computed_settings(samples_));
    EXPECT_EQ(log_.lines().back(), "[ERROR] ERROR: Incorrect file version " + quoted_path(run.tile(1, 1).zel_files[0]));
}

} // namespace
