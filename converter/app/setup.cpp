#include "converter/app/setup.h"

#include "common/log_file.h"
#include "common/partitioned_csv.h"
#include "common/quillon_sheet.h"
#include "common/sample_sheet.h"
#include "converter/analysis/fasta.h"
#include "converter/app/config.h"
#include "converter/app/guarded_step.h"
#include "converter/app/logger.h"
#include "converter/app/utilities.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <vector>

namespace {

// Owns the process logger for the life of the process.
std::shared_ptr<Logger> logger;

} // namespace

bool initialize_setup(int argc, char** argv, Config& config, SampleSheet& sample_sheet, QuillonSheet& design_sheet,
                      Fasta& fasta)
{
    initialize_logging();
    return guarded_step([&] { return config.initialize(argc, argv); }) &&
           guarded_step([&] { return initialize_logging_output(config); }) &&
           guarded_step([&] { return initialize_sheet(config.sample_sheet_file, "sample sheet", sample_sheet); }) &&
           guarded_step(
               [&] { return initialize_sheet(config.design_sheet_file, "quillon design sheet", design_sheet); }) &&
           guarded_step([&] { return initialize_fasta(config, fasta); }) &&
           guarded_step([&] { return config.setup(sample_sheet, design_sheet); });
}

void initialize_logging()
{
    // The test mutations draw from the C generator; seeding it makes runs repeatable.
    std::srand(0);
    logger = std::make_shared<Logger>();
    Logger::default_logger_ = logger;
    logger->add_stream(std::cout);
}

bool initialize_logging_output(Config& config)
{
    const std::filesystem::path path = config.analysis_folder / (config.flowcell_id + "_quillon.log");
    Logger::min_level_ = config.log_level;
    logger->utc = config.log_utc_time;
    auto file = std::make_shared<DescriptorStream>();
    const int error = open_log_file(path, *file);
    const std::string name = "log file '" + path.string() + "'";
    if (error == ELOOP || error == EMLINK) {
        // A link, or a file with other names too: not the log's own file, so nothing is written
        // to it, and the run goes on as with a log file that cannot be written.
        logger->add_unwritable(name, error);
        return true;
    }
    if (error != 0) {
        log_error() << "Could not open log file '" << path.string() << "'";
        log_flush();
        return false;
    }
    logger->add_stream(std::move(file), name);
    return true;
}

bool initialize_sheet(const std::filesystem::path& file, const std::string& what, PartitionedCsv& sheet)
{
    if (file.empty())
        return true;
    std::string text;
    if (!read_file(file, text)) {
        log_error() << "Could not read " << what << " file '" << file.string() << "'";
        log_flush();
        return false;
    }
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    if (sheet.load(text, errors, warnings)) {
        for (const std::string& warning : warnings)
            log_warn() << warning;
        return true;
    }
    log_error() << "Could not load " << what << " file " << file.string();
    log_flush();
    for (const std::string& error : errors) {
        log_error() << file.filename().string() << ": " << error;
        log_flush();
    }
    return false;
}

bool initialize_fasta(Config& config, Fasta& fasta)
{
    if (!config.controls_file.empty()) {
        if (!fasta.read(config.controls_file)) {
            log_error() << "Unable to open controls (fasta) file: " << config.controls_file.string();
            log_flush();
            return false;
        }
        return true;
    }
    if (config.oscores || config.trim_adapters) {
        log_error() << "A control file must be specified in order to do adapter trimming or "
                       "compute oscores";
        log_flush();
        return false;
    }
    return true;
}

void log_initial_info(int argc, char** argv, Config& config, Fasta& fasta)
{
    log_info() << "Command line arguments: ";
    for (int i = 0; i < argc; ++i)
        log_info() << (i + 1) << ": " << argv[i];
    log_info() << "instrument_id: " << config.instrument_id;
    log_info() << "run_id: " << config.run_id;
    log_info() << "flowcell_id: " << config.flowcell_id;

    if (!config.sample_sheet_file.empty())
        log_info() << "Sample sheet file: " << config.sample_sheet_file.string();
    if (!config.design_sheet_file.empty())
        log_info() << "Quillon design sheet: " << config.design_sheet_file.string();
    if (config.sample_sheet_file.empty() && config.design_sheet_file.empty())
        log_warn() << "Sample sheet and Quillon design sheet not found";

    if (config.controls_file.empty())
        log_warn() << "Missing control reference file - control library demux skipped.";
    else
        log_info() << "Control reference file: " << config.controls_file.string();
    for (const FastaControl& control : fasta.controls)
        log_info() << "Control sequence: " << control.name << " (" << control.control_class.second
                   << "), length: " << control.sequence.size();
    for (const FastaAdapter& adapter : fasta.adapters)
        log_info() << "Adapter sequence: " << adapter.name << "; Seq: " << adapter.sequence;

    for (std::size_t lane = 0; lane < config.lane_tiles.size(); ++lane)
        log_info() << "Lane " << (lane + 1) << ": found " << config.lane_tiles[lane].size() << " tile folder(s)";

    const auto cycle_count = [](const CycleRange& range) { return range.last - range.first + 1; };
    if (!config.roles_configured) {
        for (int r = 1; r <= config.num_reads && r <= static_cast<int>(config.read_ranges.size()); ++r)
            log_info() << "R" << r << ": "
                       << "cycle count: " << cycle_count(config.read_ranges[r - 1]);
    } else {
        const CycleRange* reads[] = {&config.R1_range, &config.R2_range};
        for (int k = 1; k <= 2; ++k)
            if (reads[k - 1]->read != 0)
                log_info() << "Read " << k << ": cycle count: " << cycle_count(*reads[k - 1]);
        const CycleRange* indexes[] = {&config.I1_range, &config.I2_range};
        for (int k = 1; k <= 2; ++k)
            if (indexes[k - 1]->read != 0)
                log_info() << "Index " << k << ": cycle count: " << cycle_count(*indexes[k - 1]);
    }
    log_info() << "Total worker threads: " << config.threads;
}
