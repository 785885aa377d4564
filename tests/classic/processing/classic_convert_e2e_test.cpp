// The built quillon-classic converts generated runs without a sample sheet: every spot's record
// must land once, in order, in its lane's and read's track file, byte for byte as the generator's
// truth says once decompressed; bad input ends with its ERROR and status 1, never a hang or crash.
#include "tests/classic/processing/classic_fastq_expectations.h"
#include "tests/support/full_file_system.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using namespace classic_e2e;

// Rewrites one spot's x and y (as raw 32-bit values) in every positions file of a tile.
void set_position_bits(const runsim::TileTruth& tile, std::size_t spot, std::uint32_t x, std::uint32_t y)
{
    for (const fs::path& path : tile.positions_files) {
        std::string bytes = test_support::read_whole_file(path);
        std::memcpy(&bytes[24 + spot * 8], &x, 4);
        std::memcpy(&bytes[28 + spot * 8], &y, 4);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
}

std::uint32_t float_bits(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

struct LayoutCase {
    const char* name;
    runsim::ZelStorage storage;
    int version;
    bool read_folders, base_calls, float_positions, only_l02;
    int lanes_threaded, threads_per_lane;
};

class ClassicConvert : public testing::TestWithParam<LayoutCase> {};

TEST_P(ClassicConvert, EverySpotLandsOnceInItsTrackFile)
{
    const LayoutCase& c = GetParam();
    test_support::TempDir dir("classic-e2e");
    runsim::RunRecipe recipe = recipe_for(dir.path() / "run");
    recipe.zel.storage = c.storage;
    recipe.version = std::uint64_t(c.version);
    recipe.read_folders = c.read_folders;
    recipe.base_calls_folder = c.base_calls;
    recipe.positions_type = c.float_positions ? runsim::PositionsType::Float32 : runsim::PositionsType::Int32;
    runsim::RunTruth run = runsim::generate_run(recipe);
    runsim::TileTruth& first = run.lanes[1][0];
    // Coordinates far beyond the tile's size are kept; a position that is not a number, or
    // lies outside int, is no position and drops its spot.
    if (c.float_positions) {
        set_position_bits(first, 0, float_bits(std::nanf("")), float_bits(3.0f));
        set_position_bits(first, 1, float_bits(5.0f), float_bits(1e10f));
        first.spot_truth[0].x = first.spot_truth[1].y = -1;
    } else {
        set_position_bits(first, 2, 2147483647u, 2147483000u);
        first.spot_truth[2].x = 2147483647;
        first.spot_truth[2].y = 2147483000;
    }
    if (c.only_l02)
        fs::remove_all(run.lanes_folder / "L01");

    const auto result = convert(run.run_folder, dir.path() / "out", c.lanes_threaded, c.threads_per_lane, dir.path());
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    expect_outputs(dir.path() / "out", run, c.only_l02 ? std::set<int>{2} : std::set<int>{1, 2});
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ClassicConvert,
    testing::Values(LayoutCase{"BlockGzipV4", runsim::ZelStorage::BlockGzip, 4, false, true, false, false, 1, 2},
                    LayoutCase{"GzipV3ReadFolders", runsim::ZelStorage::Gzip, 3, true, false, false, false, 0, 1},
                    LayoutCase{"PlainV2FloatPositions", runsim::ZelStorage::Plain, 2, false, false, true, false, 1, 3},
                    LayoutCase{"PlainV1ReadFoldersOnlyL02", runsim::ZelStorage::Plain, 1, true, true, false, true, 1,
                               2}),
    [](const testing::TestParamInfo<LayoutCase>& test_info) { return std::string(test_info.param.name); });

// What the run drops or assumes without an error is said in one WARN: the spots of a tile whose
// positions are missing, not numbers, negative or repeated, a tile's read of another cycle count
// than the first tile's, the default ids of a run whose metadata file cannot be read or says
// nothing, and an empty sample sheet of the run folder. The run succeeds, and no record of
// another spot is lost.
TEST(ClassicWarnings, DropsAndDefaultsAreSaidOnce)
{
    const char* cases[] = {"positions", "cycles", "metadata", "empty metadata", "empty sample sheet"};
    for (const std::string damage : cases) {
        SCOPED_TRACE(damage);
        test_support::TempDir dir("classic-warn");
        runsim::RunRecipe recipe = recipe_for(dir.path() / "run");
        recipe.positions_type = runsim::PositionsType::Float32;
        recipe.odd_position_fraction = 0;
        runsim::RunTruth run = runsim::generate_run(recipe);
        runsim::TileTruth& tile = run.lanes[0][1];
        std::string warning;
        if (damage == "positions") { // read 2 holds 75 of the 80 spots, spot 3 is nowhere, 5 below 0, 6 on 7
            runsim::inject_fault(run, runsim::Fault::PositionsSpotsMismatch, {1, 2, 2, -1, 75});
            set_position_bits(tile, 3, float_bits(std::nanf("")), float_bits(1.0f));
            set_position_bits(tile, 5, float_bits(-3.0f), float_bits(1.0f));
            const runsim::SpotTruth& seventh = tile.spot_truth[7];
            set_position_bits(tile, 6, float_bits(float(seventh.x)), float_bits(float(seventh.y)));
            for (std::size_t s : {3, 5, 6, 7, 75, 76, 77, 78, 79})
                tile.spot_truth[s].x = -1;
            warning = "Tile 1:01002: 9 spots dropped, their positions missing, not numbers, negative or repeated in ";
        } else if (damage == "empty metadata") {
            std::ofstream(run.metadata_file, std::ios::trunc).flush();
            warning = run.metadata_file.string() +
                      " holds no Instrument_ID, Run_Folder_Name or Flow_Cell_ID: the reads are named with the "
                      "defaults INSID, 1 and FCLID";
        } else if (damage == "empty sample sheet") { // the run folder's: converted without samples
            std::ofstream(run.run_folder / "SampleSheetUsed.csv") << "\n \n";
            warning = "Sample sheet " + (run.run_folder / "SampleSheetUsed.csv").string() +
                      " is empty: the run is converted without samples";
        } else if (damage == "cycles") {
            const fs::path file = runsim::inject_fault(run, runsim::Fault::CyclesMismatch).file;
            warning = "Tile 1:01002: " + file.string() + " has 31 cycles where the first tile's read 1 has 30";
        } else {
            fs::remove(run.metadata_file);
            fs::create_directory(run.metadata_file);
            warning = "Cannot read " + run.metadata_file.string() +
                      ": the reads are named with the defaults "
                      "INSID, 1 and FCLID";
        }
        const auto result = convert(run.run_folder, dir.path() / "out", 1, 2, dir.path());
        EXPECT_EQ(result.status, 0) << result.out;
        const auto warned = result.out.find("] [WARN] \t" + warning);
        EXPECT_NE(warned, std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("] [WARN] ", warned + 1), std::string::npos) << result.out;
        if (damage == "positions" || damage == "empty sample sheet")
            expect_outputs(dir.path() / "out", run, {1, 2});
    }
}

// Lanes on their own threads, batches of tile threads: run under ThreadSanitizer in CI.
TEST(ClassicThreading, LanesAndTileBatchesWriteEveryTileInOrder)
{
    test_support::TempDir dir("classic-threads");
    runsim::RunRecipe recipe = recipe_for(dir.path() / "run");
    recipe.tiles = 5;
    const runsim::RunTruth run = runsim::generate_run(recipe);
    const auto result = convert(run.run_folder, dir.path() / "out", 1, 2, dir.path());
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.err.find("ThreadSanitizer"), std::string::npos) << result.err;
    expect_outputs(dir.path() / "out", run, {1, 2});
}

// Each bad input names what it damages; the ERROR line holds the text, followed by the damaged
// file's path when the text ends with a blank. A tile that is skipped must be missing from
// otherwise complete files and from the counts of the metrics.
enum class Damage { Inject, HugeHeader, NoCycles, StrayByte, Pipe, RemovePositions, FastqFolderIsAFile, FullDisk };

struct FaultCase {
    const char* name;
    runsim::ZelStorage storage;
    Damage damage;
    runsim::Fault fault;
    int lane, tile, read;
    const char* error;
    bool tile_skipped;
};

// Damages the run as the case says; returns the path that the error names.
fs::path damage(const FaultCase& c, const runsim::RunTruth& run, const fs::path& out)
{
    const runsim::TileTruth& tile = run.tile(c.lane, c.tile);
    switch (c.damage) {
    case Damage::Inject:
        return runsim::inject_fault(run, c.fault, {c.lane, c.tile, c.read, -1, {}}).file;
    case Damage::HugeHeader: { // 2^40 spots promised by a file of a few bytes
        runsim::ZelHeader header;
        header.version = c.storage == runsim::ZelStorage::Plain ? 2 : 4;
        header.spots = std::uint64_t(1) << 40;
        header.cycles = 32;
        runsim::write_zel_file(tile.zel_files[std::size_t(c.read - 1)], header, std::vector<unsigned char>(64, 120),
                               {c.storage, 4096, 1});
        return tile.zel_files[std::size_t(c.read - 1)];
    }
    case Damage::NoCycles: { // 2^48 spots of no cycles: no file size bounds them
        runsim::ZelHeader header;
        header.version = c.storage == runsim::ZelStorage::Plain ? 2 : 3;
        header.spots = std::uint64_t(1) << 48;
        runsim::write_zel_file(tile.zel_files[std::size_t(c.read - 1)], header, {}, {c.storage, 4096, 1});
        return tile.zel_files[std::size_t(c.read - 1)];
    }
    case Damage::StrayByte: { // a line feed among the base letters of a plain file
        const fs::path& path = tile.zel_files[std::size_t(c.read - 1)];
        std::string bytes = test_support::read_whole_file(path);
        std::uint64_t text = 0;
        std::memcpy(&text, &bytes[40], sizeof text);
        bytes[48 + text + 100] = '\n';
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }
    case Damage::Pipe: { // the read's positions file (read 2) or base-call file (another read)
        const fs::path path = c.read == 2 ? tile.positions_files[1] : tile.zel_files[std::size_t(c.read - 1)];
        fs::remove(path);
        mkfifo(path.c_str(), 0644);
        return path;
    }
    case Damage::RemovePositions:
        fs::remove(tile.positions_files[std::size_t(c.read - 1)]);
        return tile.positions_files[std::size_t(c.read - 1)];
    case Damage::FastqFolderIsAFile:
        fs::create_directories(out);
        std::ofstream(out / "FASTQs") << "";
        return out / "FASTQs";
    case Damage::FullDisk: // the test makes the folder a full disk
        return out / "FASTQs";
    }
    return {};
}

class ClassicBadInput : public testing::TestWithParam<FaultCase> {};

TEST_P(ClassicBadInput, EndsWithItsErrorAndStatusOne)
{
    const FaultCase& c = GetParam();
    test_support::TempDir dir("classic-bad");
    runsim::RunRecipe recipe = recipe_for(dir.path() / "run");
    recipe.zel.storage = c.storage;
    const runsim::RunTruth run = runsim::generate_run(recipe);
    std::string error = c.error;
    std::optional<test_support::FullFileSystem> full;
    if (c.damage == Damage::FullDisk && !full.emplace(dir.path() / "out" / "FASTQs").mounted())
        GTEST_SKIP() << "a full disk needs root to mount it";
    const fs::path damaged = damage(c, run, dir.path() / "out");
    if (error.back() == ' ')
        error += damaged.string();

    const auto result = convert(run.run_folder, dir.path() / "out", 1, 2, dir.path());
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_NE(result.out.find("[ERROR] \t" + error), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Run complete"), std::string::npos);
    if (c.tile_skipped)
        expect_outputs(dir.path() / "out", run, {1, 2}, {{c.lane, c.tile}});
}

using runsim::Fault;
using runsim::ZelStorage;
constexpr const char* Bad_calls = "Incorrect file format for base call file ";

INSTANTIATE_TEST_SUITE_P(
    Faults, ClassicBadInput,
    testing::Values(
        FaultCase{"CorruptMember", ZelStorage::BlockGzip, Damage::Inject, Fault::FlippedDeflateByte, 1, 2, 3, Bad_calls,
                  true},
        FaultCase{"TruncatedGzipCalls", ZelStorage::Gzip, Damage::Inject, Fault::TruncatedCalls, 2, 3, 4, Bad_calls,
                  true},
        FaultCase{"TruncatedPlainCalls", ZelStorage::Plain, Damage::Inject, Fault::TruncatedCalls, 1, 1, 2, Bad_calls,
                  true},
        FaultCase{"HugePlainHeader", ZelStorage::Plain, Damage::HugeHeader, {}, 1, 2, 1, Bad_calls, true},
        FaultCase{"HugeGzipHeader", ZelStorage::BlockGzip, Damage::HugeHeader, {}, 2, 2, 3, Bad_calls, true},
        FaultCase{"StrayByteAmongPlainLetters", ZelStorage::Plain, Damage::StrayByte, {}, 1, 2, 1, Bad_calls, true},
        FaultCase{"PlainSpotsOfNoCycles", ZelStorage::Plain, Damage::NoCycles, {}, 2, 2, 3, Bad_calls, true},
        FaultCase{"GzipSpotsOfNoCycles", ZelStorage::Gzip, Damage::NoCycles, {}, 1, 3, 2, Bad_calls, true},
        FaultCase{
            "PipeForBaseCalls", ZelStorage::BlockGzip, Damage::Pipe, {}, 2, 2, 4, "Cannot open input file ", false},
        FaultCase{
            "PipeForPositions", ZelStorage::BlockGzip, Damage::Pipe, {}, 1, 3, 2, "Cannot open output file ", false},
        FaultCase{"SpotCountsDiffer", ZelStorage::BlockGzip, Damage::Inject, Fault::SpotsMismatch, 2, 1, 2,
                  "Tile 2:01001 not all tracks contain the same number of reads.", true},
        FaultCase{"ShortPositions", ZelStorage::BlockGzip, Damage::Inject, Fault::ShortPositions, 1, 3, 2,
                  "Incorrect file format for positions file ", true},
        FaultCase{"MissingPositions",
                  ZelStorage::BlockGzip,
                  Damage::RemovePositions,
                  {},
                  2,
                  2,
                  2,
                  "Cannot find positions file ",
                  false},
        FaultCase{"WrongTypeOnATileThread", ZelStorage::BlockGzip, Damage::Inject, Fault::WrongFileType, 2, 3, 1,
                  "Incorrect file type ", false},
        FaultCase{"FastqFolderIsAFile",
                  ZelStorage::BlockGzip,
                  Damage::FastqFolderIsAFile,
                  {},
                  1,
                  1,
                  1,
                  "Cannot open output file ",
                  false},
        FaultCase{
            "FullDisk", ZelStorage::BlockGzip, Damage::FullDisk, {}, 1, 1, 1, "Cannot write to output file ", false}),
    [](const testing::TestParamInfo<FaultCase>& test_info) { return std::string(test_info.param.name); });

} // namespace
