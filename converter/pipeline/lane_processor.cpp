#include "converter/pipeline/lane_processor.h"

#include "converter/app/config.h"
#include "converter/app/logger.h"
#include "converter/app/timer_manager.h"
#include "converter/analysis/metrics_manager.h"
#include "converter/analysis/sample_finder.h"
#include "converter/pipeline/fastq_file_manager.h"
#include "converter/pipeline/tile_processor.h"
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

} // namespace

bool LaneProcessor::process_lane(int lane, int& tiles_processed)
{
    bool ok = true;
    std::optional<ZelFileManager> zel_files;
    std::optional<FastqFileManager> fastq_files;
    std::optional<SampleFinder> samples;
    timers.start(TimerName::Lane_processing);
    try {
        zel_files.emplace(config, timers, lane);
        fastq_files.emplace(config, timers, lane);
        samples.emplace(config, lane);
        TileProcessor processor(config, controls, metrics, *zel_files, *fastq_files, adapters, *samples,
                                timers);
        // The output files are opened before the reader starts, so a file that cannot be
        // opened ends the lane before any thread runs.
        fastq_files->run();
        zel_files->run();
        metrics.open_lane(lane);
        const int tiles = static_cast<int>(config.lane_tiles[static_cast<std::size_t>(lane - 1)].size());
        for (int tile = 1; tile <= tiles; ++tile) {
            processor.process_tile(lane, tile);
            ++tiles_processed;
        }
    } catch (const std::exception& e) {
        log_lane_error(e.what());
        ok = false;
    }

    // The lane's index counts are kept even when a tile failed.
    if (samples)
        metrics.process_samples(*samples);
    if (zel_files) {
        zel_files->stop();
        zel_files->join();
    }
    std::uint64_t bytes = 0;
    if (fastq_files) {
        fastq_files->stop();
        fastq_files->join();
        bytes = fastq_files->total_bytes_written();
        if (fastq_files->has_write_error()) {
            log_error() << fastq_files->write_error();
            log_flush();
            ok = false;
        }
    }
    const double seconds = timers.stop(TimerName::Lane_processing);

    if (ok) {
        metrics.write_lane_metrics();
        const double gigabytes = static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
        log_info() << "** Completed Lane #" << lane;
        log_info() << "** GB written: " << gigabytes << ", rate: " << gigabytes / seconds << " GB/sec";
        log_flush();
    }
    metrics.close_lane();
    timers.reset(TimerName::Lane_processing);
    return ok;
}
