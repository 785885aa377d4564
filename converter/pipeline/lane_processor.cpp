#include "converter/pipeline/lane_processor.h"

#include "common/partial_files.h"
#include "converter/analysis/metrics_manager.h"
#include "converter/analysis/sample_finder.h"
#include "converter/app/config.h"
#include "converter/app/logger.h"
#include "converter/app/timer_manager.h"
#include "converter/pipeline/fastq_file_manager.h"
#include "converter/pipeline/tile_processor.h"
#include "converter/pipeline/zel_bundle_pool.h"
#include "converter/pipeline/zel_file_manager.h"

#include <cstdint>
#include <exception>
#include <optional>

namespace {

void log_lane_error(const char* what)
{
    log_error() << "Exception detected processing tiles: " << what;
    log_flush();
}

// Shuts the lane's writer down; returns the bytes it wrote. A failed lane's files keep their
// temporary names: a file under its final name is complete. A write error fails the lane.
std::uint64_t close_fastq_files(FastqFileManager& fastq_files, int lane, bool& ok)
{
    if (!ok)
        fastq_files.fail_lane();
    fastq_files.stop();
    fastq_files.join();
    const std::uint64_t bytes = fastq_files.total_bytes_written();
    if (fastq_files.has_write_error()) {
        log_error() << fastq_files.write_error();
        ok = false;
    }
    if (fastq_files.files_left() > 0)
        log_warn() << "The FASTQ files of lane " << lane << " are incomplete and left under their names ending in "
                   << PartialFiles::Suffix;
    log_flush();
    return bytes;
}

} // namespace

LaneProcessor::LaneProcessor(const Config& config, ControlsManager& controls, AdapterFinder& adapters,
                             MetricsManager& metrics, TimerManager& timers)
    : config_(config), controls_(controls), adapters_(adapters), metrics_(metrics), timers_(timers),
      bundles_(ZelFileManager::make_pool(config))
{
}

LaneProcessor::~LaneProcessor() = default;

std::unique_ptr<ZelFileManager> LaneProcessor::take_loader(int lane, bool& running)
{
    running = next_loader_ && next_loader_->lane_number() == lane;
    if (running)
        return std::move(next_loader_);
    next_loader_.reset();
    return std::make_unique<ZelFileManager>(config_, timers_, lane, bundles_);
}

bool LaneProcessor::process_lane(int lane, int& tiles_processed)
{
    bool ok = true;
    std::unique_ptr<ZelFileManager> zel_files;
    std::optional<FastqFileManager> fastq_files;
    std::optional<SampleFinder> samples;
    timers_.start(TimerName::Lane_processing);
    try {
        bool loader_running = false;
        zel_files = take_loader(lane, loader_running);
        fastq_files.emplace(config_, timers_, lane);
        samples.emplace(config_, lane);
        process_tiles(lane, *zel_files, loader_running, *fastq_files, *samples, tiles_processed);
    } catch (const std::exception& e) {
        log_lane_error(e.what());
        ok = false;
    }

    // The lane's index counts are kept even when a tile failed.
    if (samples)
        metrics_.process_samples(*samples);
    if (zel_files) {
        zel_files->stop();
        zel_files->join();
    }
    std::uint64_t bytes = 0;
    if (fastq_files)
        bytes = close_fastq_files(*fastq_files, lane, ok);
    const double seconds = timers_.stop(TimerName::Lane_processing);

    if (ok) {
        metrics_.write_lane_metrics();
        const double gigabytes = static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
        log_info() << "** Completed Lane #" << lane;
        log_info() << "** GB written: " << gigabytes << ", rate: " << gigabytes / seconds << " GB/sec";
        log_flush();
    } else {
        next_loader_.reset(); // the run ends with this lane
    }
    metrics_.close_lane();
    timers_.reset(TimerName::Lane_processing);
    return ok;
}

void LaneProcessor::process_tiles(int lane, ZelFileManager& zel_files, bool loader_running,
                                  FastqFileManager& fastq_files, SampleFinder& samples, int& tiles_processed)
{
    TileProcessor processor(config_, controls_, metrics_, zel_files, fastq_files, adapters_, samples, timers_, spots_,
                            block_);
    // The output files are opened before a loader of this lane starts, so a file that
    // cannot be opened ends the lane before any thread of it runs (a loader started ahead
    // only reads).
    fastq_files.run();
    if (!loader_running)
        zel_files.run();
    metrics_.open_lane(lane);
    const int tiles = static_cast<int>(config_.tiles_of_lane(lane).size());
    for (int tile = 1; tile <= tiles; ++tile) {
        processor.process_tile(lane, tile);
        ++tiles_processed;
    }
    // Every tile is read: the tile threads are free for the next lane, whose loader runs
    // while this lane's last tiles are compressed and written.
    zel_files.join();
    if (lane < config_.num_lanes) {
        next_loader_ = std::make_unique<ZelFileManager>(config_, timers_, lane + 1, bundles_);
        next_loader_->run();
    }
    timers_.start(TimerName::Compress_fastq);
    fastq_files.finish();
    timers_.stop(TimerName::Compress_fastq);
}
