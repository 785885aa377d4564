#pragma once
// Converts the lanes of a run, one after another. Each lane has its own tile loader, FASTQ
// writer, sample finder and tile processor; its tiles are processed in order on the calling
// thread; the loader and writer are always shut down, and the lane's metrics are written when
// every tile succeeded. Kept from lane to lane: the tile bundles with the threads that read
// and inflate them, and the spots with the block of their bases. While a lane's last tiles
// are compressed and written, the next lane's loader already reads its first tiles.
#include "converter/pipeline/spot.h"
#include "converter/pipeline/spot_block.h"

#include <memory>
#include <vector>

class AdapterFinder;
class Config;
class ControlsManager;
class FastqFileManager;
class MetricsManager;
class SampleFinder;
class TimerManager;
class ZelBundlePool;
class ZelFileManager;

class LaneProcessor {
public:
    LaneProcessor(const Config& config, ControlsManager& controls, AdapterFinder& adapters, MetricsManager& metrics,
                  TimerManager& timers);
    // Stops a loader started ahead for a lane that was not processed.
    ~LaneProcessor();
    LaneProcessor(const LaneProcessor&) = delete;
    LaneProcessor& operator=(const LaneProcessor&) = delete;

    // True when every tile of the lane was converted and written; tiles_processed grows by
    // one for each tile that completed.
    bool process_lane(int lane, int& tiles_processed);

private:
    // The loader of the lane: the one started ahead, or a new one that is not yet running.
    std::unique_ptr<ZelFileManager> take_loader(int lane, bool& running);
    // Converts every tile of the lane in order, starts the next lane's loader once every tile
    // is read and waits until the lane's files are compressed; throws on the first failure.
    void process_tiles(int lane, ZelFileManager& zel_files, bool loader_running, FastqFileManager& fastq_files,
                       SampleFinder& samples, int& tiles_processed);

    const Config& config_;
    ControlsManager& controls_;
    AdapterFinder& adapters_;
    MetricsManager& metrics_;
    TimerManager& timers_;
    std::shared_ptr<ZelBundlePool> bundles_;
    std::vector<Spot> spots_;
    SpotBlock block_;
    std::unique_ptr<ZelFileManager> next_loader_; // the next lane's, started ahead
};
