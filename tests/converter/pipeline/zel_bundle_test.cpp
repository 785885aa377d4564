// Tile bundles on generated runs: a tile read and unpacked gives exactly the planted calls and
// positions; every kind of damaged input fails the tile with its message.
#include "converter/pipeline/zel_bundle.h"

#include "converter/app/config.h"
#include "converter/app/file_checks.h"
#include "converter/app/timer_manager.h"
#include "converter/app/utilities.h"
#include "converter/pipeline/zel_file_manager.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/runsim.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One lane of two tiles; reads 1 and 4 carry extra cycles, some positions lie beyond 16 bits.
runsim::RunTruth make_run(const fs::path& folder, runsim::PositionsType type)
{
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder;
    recipe.lanes = 1;
    recipe.tiles = 2;
    recipe.layout = runsim::ReadLayout::parse("R1:30+2,I1:8,I2:8,R2:30+3");
    recipe.positions_type = type;
    recipe.odd_position_fraction = 0.3;
    return runsim::generate_run(recipe);
}

void describe_run(const runsim::RunTruth& run, Config& config)
{
    for (const auto& lane : run.lanes) {
        config.lane_tiles.emplace_back();
        for (const runsim::TileTruth& tile : lane)
            config.lane_tiles.back().emplace_back(tile.folder);
    }
    config.num_lanes = static_cast<int>(run.lanes.size());
    config.num_reads = static_cast<int>(run.recipe.layout.reads.size());
    for (const runsim::ReadSpec& read : run.recipe.layout.reads) {
        config.cycles.push_back(read.header_cycles());
        config.extra_cycles.push_back(read.extra_cycles);
    }
}

std::vector<std::string> error_lines(const test_support::LogCapture& log)
{
    std::vector<std::string> found;
    for (const std::string& line : log.lines())
        if (line.rfind("[ERROR] ", 0) == 0)
            found.push_back(line.substr(8));
    return found;
}

class ZelBundleTiles : public ::testing::TestWithParam<runsim::PositionsType> {
protected:
    test_support::TempDir dir_{"zel-bundle"};
    test_support::LogCapture log_;
    Config config_;
};

TEST_P(ZelBundleTiles, TileReadAndUnpackedGivesThePlantedCallsAndPositions)
{
    const runsim::RunTruth run = make_run(dir_.path(), GetParam());
    describe_run(run, config_);
    ZelBundle bundle(config_);
    std::vector<Spot> spots(500); // more than the tile holds: the surplus goes
    for (int tile : {2, 1}) {     // the second tile reuses the first one's buffers
        const runsim::TileTruth& truth = run.tile(1, tile);
        bundle.lane = 1;
        bundle.tile = tile;
        ASSERT_TRUE(bundle.read_tile()) << "tile " << tile;
        ASSERT_EQ(bundle.num_spots, static_cast<int>(truth.spots));
        bundle.create_spots(spots);
        ASSERT_EQ(spots.size(), truth.spots);

        std::uint64_t odd_positions = 0;
        for (std::size_t s = 0; s < spots.size(); ++s) {
            const runsim::SpotTruth& planted = truth.spot_truth[s];
            odd_positions += planted.x < 0 || planted.x > 32767 || planted.y < 0 || planted.y > 32767;
            ASSERT_EQ(spots[s].reads.size(), 4u);
            for (std::size_t r = 0; r < 4; ++r) {
                const SpotRead& read = spots[s].reads[r];
                ASSERT_EQ(read.x, static_cast<std::int16_t>(planted.x)) << "spot " << s;
                ASSERT_EQ(read.y, static_cast<std::int16_t>(planted.y)) << "spot " << s;
                const std::size_t cycles = std::size_t(config_.cycles[r]);
                const unsigned char* calls = truth.calls[r].data() + cycles * s;
                int used = config_.cycles[r] - config_.extra_cycles[r];
                while (used > 0 && calls[used - 1] < 4) // trailing no-calls are dropped
                    --used;
                ASSERT_EQ(read.seq.length, used) << "spot " << s << " read " << r + 1;
                for (int i = 0; i < used; ++i) {
                    ASSERT_EQ(read.seq.qual[std::size_t(i)], calls[i] >> 2);
                    ASSERT_EQ(read.seq.get_base(i), calls[i] & 3);
                }
            }
        }
        EXPECT_GT(odd_positions, 0u);
    }
    EXPECT_TRUE(error_lines(log_).empty());
}

INSTANTIATE_TEST_SUITE_P(Positions, ZelBundleTiles,
                         ::testing::Values(runsim::PositionsType::Int32, runsim::PositionsType::Float32),
                         [](const auto& test_info) {
                             return std::string(runsim::positions_type_name(test_info.param));
                         });

TEST(ZelBundleSpots, OnlyAFilledBundleIsUnpacked)
{
    Config config;
    config.num_reads = 1;
    config.cycles = {10};
    config.extra_cycles = {0};
    ZelBundle bundle(config);
    std::vector<Spot> spots(3);
    bundle.create_spots(spots);
    EXPECT_TRUE(spots.empty());
    bundle.num_spots = 2; // as if a header had promised spots that were never read
    EXPECT_THROW(bundle.create_spots(spots), std::runtime_error);
}

// A damaged second tile, read through the loader into the bundle that held the first tile.
struct FaultCase {
    std::string name;
    void (*damage)(const runsim::RunTruth&);
    std::vector<std::string> (*errors)(const runsim::TileTruth&);
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

void damage_tile2(const runsim::RunTruth& run, runsim::Fault fault, int read, std::optional<std::int64_t> value = {})
{
    runsim::inject_fault(run, fault, runsim::FaultTarget{1, 2, read, -1, value});
}

std::string zel(const runsim::TileTruth& t, int read)
{
    return quoted_path(t.zel_files[std::size_t(read - 1)]);
}

std::vector<std::string> spots_differ_in_read2(const runsim::TileTruth& t)
{
    return {"Inconsistant number of spots in .zel file: " + zel(t, 2)};
}

class ZelBundleFaults : public ::testing::TestWithParam<FaultCase> {
protected:
    test_support::TempDir dir_{"zel-bundle-fault"};
    test_support::LogCapture log_;
    Config config_;
    TimerManager timers_;
};

TEST_P(ZelBundleFaults, DamagedTileFailsWithItsMessage)
{
    const runsim::RunTruth run = make_run(dir_.path(), runsim::PositionsType::Int32);
    describe_run(run, config_);
    GetParam().damage(run);

    ZelFileManager loader(config_, timers_, 1);
    const std::shared_ptr<ZelBundle> bundle = loader.get_free_bundle(1, 1);
    ASSERT_TRUE(loader.read_bundle(bundle));
    bundle->tile = 2;
    EXPECT_FALSE(loader.read_bundle(bundle));
    EXPECT_EQ(error_lines(log_), GetParam().errors(run.tile(1, 2)));
}

using runsim::Fault;
using Run = const runsim::RunTruth&;
using Tile = const runsim::TileTruth&;
using Lines = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Input, ZelBundleFaults,
    ::testing::Values(FaultCase{"TruncatedCalls", [](Run run) { damage_tile2(run, Fault::TruncatedCalls, 4); },
                                [](Tile tile) { return Lines{"ERROR: Unexpected end of data in " + zel(tile, 4)}; }},
                      FaultCase{"ShortPositions", [](Run run) { damage_tile2(run, Fault::ShortPositions, 3); },
                                [](Tile tile) {
                                    return Lines{"ERROR: Unexpected end of data in " +
                                                 quoted_path(tile.positions_files[2])};
                                }},
                      FaultCase{"SpotsMismatchBetweenReads",
                                [](Run run) { damage_tile2(run, Fault::SpotsMismatch, 2); }, spots_differ_in_read2},
                      FaultCase{"PositionsSpotsMismatch",
                                [](Run run) { damage_tile2(run, Fault::PositionsSpotsMismatch, 2); },
                                spots_differ_in_read2},
                      FaultCase{"Read1WithNoSpots",
                                [](Run run) {
                                    damage_tile2(run, Fault::SpotsMismatch, 1, 0);
                                    damage_tile2(run, Fault::PositionsSpotsMismatch, 1, 0);
                                },
                                spots_differ_in_read2},
                      // The refused header leaves its counts at 0; read 1 has 2 extra cycles.
                      FaultCase{"WrongVersion", [](Run run) { damage_tile2(run, Fault::WrongVersion, 1); },
                                [](Tile tile) {
                                    return Lines{"ERROR: Incorrect file version " + zel(tile, 1),
                                                 "Inconsistant number of cycles in .zel file: " + zel(tile, 1),
                                                 "Inconsistant number of extra cycles in .zel file: " + zel(tile, 1)};
                                }},
                      FaultCase{"NotGzip", [](Run run) { damage_tile2(run, Fault::NotGzip, 2); },
                                [](Tile tile) { return Lines{tile.zel_files[1].string() + ": File format error."}; }},
                      FaultCase{"MissingPositionsFile", [](Run run) { fs::remove(run.tile(1, 2).positions_files[0]); },
                                [](Tile tile) {
                                    return Lines{"ERROR: Unable to open " + tile.positions_files[0].string() + " : " +
                                                 get_system_error_message(ENOENT)};
                                }}),
    [](const ::testing::TestParamInfo<FaultCase>& test_info) { return test_info.param.name; });

} // namespace
