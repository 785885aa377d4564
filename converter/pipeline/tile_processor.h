#pragma once
// Runs the fixed chain of stages over the spots of one tile: read, validate, find controls,
// find adapters, find samples, gather metrics, then FASTQ output; one INFO line per tile.
// Lives for one lane; the spot vector and the block of their bases are the caller's, reused
// from tile to tile and from lane to lane.
#include "converter/pipeline/spot.h"
#include "converter/pipeline/spot_block.h"
#include "converter/pipeline/spot_validator.h"

#include <vector>

class AdapterFinder;
class Config;
class ControlsManager;
class FastqFileManager;
class MetricsManager;
class SampleFinder;
class TileFolder;
class TimerManager;
class ZelFileManager;

class TileProcessor {
public:
    TileProcessor(const Config& config, ControlsManager& controls, MetricsManager& metrics, ZelFileManager& zel_files,
                  FastqFileManager& fastq_files, AdapterFinder& adapters, SampleFinder& samples, TimerManager& timers,
                  std::vector<Spot>& spots, SpotBlock& block);

    // Processes the tile at 1-based position tile of the lane's list; a failing stage
    // throws std::runtime_error and ends the tile.
    void process_tile(int lane, int tile);

    void read_spots();
    void validate_spots();
    void align_spots();
    void find_adapters();
    void find_samples();
    void gather_metrics();
    void write_fastq();
    void log_results(const TileFolder& folder, double seconds) const;

private:
    const Config& config_;
    ControlsManager& controls_;
    MetricsManager& metrics_;
    ZelFileManager& zel_files_;
    FastqFileManager& fastq_files_;
    AdapterFinder& adapters_;
    SampleFinder& samples_;
    TimerManager& timers_;
    SpotValidator validator_;
    int lane_ = 0;
    int tile_ = 0;
    std::vector<Spot>& spots_;
    SpotBlock& block_;
};
