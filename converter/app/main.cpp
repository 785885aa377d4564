// quillon: converts the run folder of a sequencing instrument into gzip FASTQ files.
#include "common/interrupt_watch.h"
#include "common/quillon_sheet.h"
#include "common/sample_sheet.h"
#include "converter/analysis/adapter_finder.h"
#include "converter/analysis/controls_manager.h"
#include "converter/analysis/fasta.h"
#include "converter/analysis/metrics_manager.h"
#include "converter/app/config.h"
#include "converter/app/logger.h"
#include "converter/app/run_abort.h"
#include "converter/app/setup.h"
#include "converter/app/timer_manager.h"
#include "converter/pipeline/lane_processor.h"

#include <oneapi/tbb/global_control.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>

namespace {

int run(int argc, char** argv)
{
    Config config;
    SampleSheet sample_sheet;
    // A spot names its sample by a 16-bit position in its lane's list.
    sample_sheet.max_lane_samples = std::numeric_limits<std::int16_t>::max();
    QuillonSheet design_sheet;
    Fasta fasta(config);
    if (!initialize_setup(argc, argv, config, sample_sheet, design_sheet, fasta))
        return -1;

    // The run's thread count for every parallel loop; automatic when 0.
    std::optional<tbb::global_control> scheduler;
    if (config.threads > 0)
        scheduler.emplace(tbb::global_control::max_allowed_parallelism, static_cast<std::size_t>(config.threads));
    ControlsManager controls(config, fasta);
    AdapterFinder adapters(config, fasta);
    MetricsManager metrics(config, fasta);
    TimerManager timers;

    log_initial_info(argc, argv, config, fasta);

    LaneProcessor lanes(config, controls, adapters, metrics, timers);
    int tiles_processed = 0;
    bool ok = true;
    for (int lane = 1; ok && lane <= config.num_lanes; ++lane)
        ok = lanes.process_lane(lane, tiles_processed);

    log_info() << "*** Run complete.";
    if (ok) {
        if (sample_sheet.loaded)
            metrics.write_frequency_metrics();
        log_info() << "Timing: ";
        timers.print();
    }
    log_flush();
    // Errors that did not stop the run (a metrics file, the log itself) still fail it.
    if (ok && !log_recorded_errors())
        return 0;
    log_info() << "*** Error(s) detected during run ***";
    log_flush();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    // First, before any other thread starts: SIGINT and SIGTERM end the run at once, with an
    // ERROR, the log flushed and the unfinished FASTQ files removed (status 255). A console
    // closed by its reader (output piped into head) ends nothing: its writes just fail.
    std::signal(SIGPIPE, SIG_IGN);
    InterruptWatch signals([](const char* name) {
        abort_run(std::string("Interrupted by ") + name +
                  ": the run is stopped and its unfinished FASTQ files are removed");
    });
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        log_error() << "Exception detected: " << e.what();
    } catch (...) {
        log_error() << "Exception detected: unknown error";
    }
    log_flush();
    return -1;
}
