// The tile loader on a generated lane of seven tiles: order, batches and the queue bound,
// stopping, a failed tile. Every wait is guarded, so that a hang fails instead of stalling.
#include "converter/pipeline/zel_file_manager.h"

#include "converter/app/config.h"
#include "converter/app/file_checks.h"
#include "converter/app/timer_manager.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/time_limit.h"
#include "tools/runsim/runsim.h"

#include <gtest/gtest.h>
#include <tbb/task_arena.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using test_support::within_time_limit;

class ProbedLoader : public ZelFileManager {
public:
    using ZelFileManager::ZelFileManager;

    std::size_t queued() { return ready.size(); }
    // Waits until exactly count bundles are queued.
    bool wait_for_queued(std::size_t count)
    {
        return test_support::eventually([&] { return queued() == count; });
    }
    // The times the reader has found no room for a further batch and waited.
    std::size_t refusals() { return ready.refusals(); }
    // Waits until the reader has found no room for a further batch more than looks times;
    // false when it has not, or when the queue stopped holding count bundles first.
    bool wait_for_refusal(std::size_t looks, std::size_t count)
    {
        test_support::eventually([&] { return refusals() > looks || queued() != count; });
        return refusals() > looks && queued() == count;
    }
};

class ZelFileManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        runsim::RunRecipe recipe = runsim::RunRecipe::small();
        recipe.out = dir_.path();
        recipe.lanes = 1;
        recipe.tiles = 7;
        recipe.spots = 40;
        run_ = serial_.execute([&] { return runsim::generate_run(recipe); });
        config_.lane_tiles.emplace_back();
        for (const runsim::TileTruth& tile : run_.lanes[0])
            config_.lane_tiles[0].emplace_back(tile.folder);
        config_.lane_tiles.emplace_back(); // lane 2 has no tiles
        config_.num_lanes = 2;
        config_.num_reads = static_cast<int>(recipe.layout.reads.size());
        for (const runsim::ReadSpec& read : recipe.layout.reads) {
            config_.cycles.push_back(read.header_cycles());
            config_.extra_cycles.push_back(read.extra_cycles);
        }
    }

    // The position of the tile whose planted positions the spots carry, 0 for none.
    int tile_of(const std::vector<Spot>& spots) const
    {
        for (std::size_t t = 0; t < run_.lanes[0].size(); ++t) {
            const runsim::TileTruth& truth = run_.lanes[0][t];
            bool same = spots.size() == truth.spots;
            for (std::size_t s = 0; same && s < spots.size(); ++s)
                same = spots[s].reads[0].x == static_cast<std::int16_t>(truth.spot_truth[s].x) &&
                       spots[s].reads[0].y == static_cast<std::int16_t>(truth.spot_truth[s].y);
            if (same)
                return static_cast<int>(t) + 1;
        }
        return 0;
    }

    int next_tile(ProbedLoader& loader)
    {
        spots_.clear();
        const bool got =
            within_time_limit([&] { return serial_.execute([&] { return loader.get_spots(spots_); }); }, "tile loader");
        return got ? tile_of(spots_) : -1;
    }

    // The task scheduler's parallel loops (the unpacking of spots, the generator's tiles) run
    // in an arena of one slot, on the calling thread. ThreadSanitizer misreads the scheduler's
    // own synchronisation; without worker threads it sees none of it, not even at exit, as it
    // would after a global_control limit was lifted.
    tbb::task_arena serial_{1};
    test_support::TempDir dir_{"zel-loader"};
    test_support::LogCapture log_;
    runsim::RunTruth run_;
    Config config_;
    TimerManager timers_;
    std::vector<Spot> spots_;
};

TEST_F(ZelFileManagerTest, QueuesTilesInOrderInBatchesOfThreeWithinTheBound)
{
    ProbedLoader loader(config_, timers_, 1);
    loader.run();
    // Two batches of three; with six queued the reader waits and starts no further batch.
    ASSERT_TRUE(loader.wait_for_queued(6));
    EXPECT_TRUE(loader.wait_for_refusal(0, 6));
    EXPECT_EQ(loader.queued(), 6u);
    // With five it looks again and waits on.
    const std::size_t looks = loader.refusals();
    EXPECT_EQ(next_tile(loader), 1);
    EXPECT_TRUE(loader.wait_for_refusal(looks, 5));
    EXPECT_EQ(loader.queued(), 5u);
    // Four queued: the last batch, of one tile, follows and the reader ends.
    EXPECT_EQ(next_tile(loader), 2);
    ASSERT_TRUE(loader.wait_for_queued(5));
    within_time_limit([&] { loader.join(); }, "tile loader");
    for (int tile = 3; tile <= 7; ++tile)
        EXPECT_EQ(next_tile(loader), tile);
    loader.stop();
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ZelFileManagerTest, AfterStopNoTileIsHandedOutAndTheWaitingReaderEnds)
{
    ProbedLoader idle(config_, timers_, 1);
    idle.stop();
    EXPECT_EQ(next_tile(idle), -1);

    ProbedLoader loader(config_, timers_, 1);
    loader.run();
    ASSERT_TRUE(loader.wait_for_queued(6)); // the reader waits for space
    loader.stop();
    EXPECT_EQ(next_tile(loader), -1); // even with bundles queued
    within_time_limit([&] { loader.join(); }, "tile loader");
}

TEST_F(ZelFileManagerTest, HeaderFaultInSecondTileOfBatchStopsTheLane)
{
    const runsim::FaultReport fault = runsim::inject_fault(run_, runsim::Fault::CyclesMismatch);
    ASSERT_EQ(fault.file, run_.tile(1, 2).zel_files[0]);
    ProbedLoader loader(config_, timers_, 1);
    loader.run();
    EXPECT_EQ(next_tile(loader), -1); // tile 1 of the batch is not queued either
    within_time_limit([&] { loader.join(); }, "tile loader");
    EXPECT_EQ(loader.queued(), 0u);
    EXPECT_EQ(log_.lines(), std::vector<std::string>{"[ERROR] Inconsistant number of cycles in .zel file: " +
                                                     quoted_path(fault.file)});
}

TEST_F(ZelFileManagerTest, EmptyLaneEndsAtOnceAndUnjoinedLoaderEndsOnDestruction)
{
    ProbedLoader empty(config_, timers_, 2);
    empty.run();
    within_time_limit([&] { empty.join(); }, "tile loader");

    // A lane that fails before its tile loop leaves to its destructor a loader waiting for
    // space (six queued is the only count the reader stays at).
    within_time_limit(
        [&] {
            ProbedLoader loader(config_, timers_, 1);
            loader.run();
            loader.wait_for_queued(6);
        },
        "tile loader");
}

} // namespace
