// The classic program's parameters: the usage text, the check of every name, the long
// spellings, the defaults and the checks of the values.
#include "classic/framework/file_system.h"
#include "classic/framework/utilities.h"
#include "classic/processing/create_fastq.h"
#include "common/output_folder_lock.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>

namespace {

// Short spelling and long spelling (empty when there is none), in the table's order.
const std::pair<const char*, const char*> Parameter_names[] = {
    {"--input", ""},
    {"--output", ""},
    {"--threadlanes", "--thread_lanes"},
    {"--threadsperlane", "--threads_per_lane"},
    {"--controlsfile", "--controls_file"},
    {"--flowcellid", "--flowcell_id"},
    {"--designsheet", "--design_sheet"},
    {"--samplesheet", "--sample_sheet"},
    {"--barcodeallowedmismatches", "--barcode_allowed_mismatches"},
    {"--umiqscores", "--umi_qscores"},
    {"--umitag", "--umi_tag"},
    {"--oscores", ""},
    {"--qscorecutoff", ""},
    {"--log_utc_time", ""},
    {"--command_line", ""},
};

// The number as strtol reads it in base 10, compared unsigned as the checks do.
std::uint64_t number_of(const std::string& text)
{
    return static_cast<std::uint64_t>(std::strtol(text.c_str(), nullptr, 10));
}

bool exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// The run's lock on its output folder. It is kept until the process ends, so that the log's
// last lines still go to a folder no other run writes to; a later run in the same process (in
// tests) replaces it.
std::unique_ptr<OutputFolderLock> output_folder_lock;

} // namespace

void CreateFastq::help()
{
    std::stringstream message;
    message << "Usage:" << '\n'
            << "\t--flowcellid\t\t\tThe flowcell identification." << '\n'
            << "\t--input\t\t\t\tFull path to the zel directory where the base call files can be found." << '\n'
            << "\t--output\t\t\tFull path to the output directory where the fastq files will be written." << '\n'
            << "\t--threadlanes\t\t\tProcess the lanes concurrently. (0 or 1, default 1)" << '\n'
            << "\t--threadsperlane\t\tThe number of threads to allocate to each lane." << '\n'
            << "\t--controlsfile\t\t\t(optional) The full path to a fasta file of control sequences." << '\n'
            << "\t--samplesheet\t\t\t(optional) The full path to the sample sheet file." << '\n'
            << "\t--designsheet\t\t\t(optional) The full path to the quillon_params design sheet file." << '\n'
            << "\t--barcodeallowedmismatches\tThe allowed number of barcode mismatches when demultiplexing. (default 0)"
            << '\n'
            << '\n';
    log->status(message);
}

bool CreateFastq::validate_parameters()
{
    auto& parameters = *blackboard->read<AlgorithmFramework::Parameters>("parameters");
    if (parameters.count("--help") != 0) {
        help();
        return false;
    }
    if (parameters.count("--input") == 0) {
        help();
        log_exception("Cannot find parameter --input ");
    }
    input = parameters["--input"];
    if (parameters["--output"].empty())
        parameters["--output"] = input;
    output = parameters["--output"];

    // A missing run folder is refused before the log file is opened: opening it makes the log's
    // parent folders, which would create the mistyped run folder itself.
    if (!exists(input))
        log_exception("Invalid parameter value, --input " + input);

    // One run per output folder: a second one is refused before it writes anything, its log
    // file included.
    AlgorithmFramework::FileSystem::mkdir(output + "/");
    output_folder_lock = std::make_unique<OutputFolderLock>();
    if (std::string why; !output_folder_lock->acquire(output, why))
        log_exception("Output folder refused: " + why);

    auto utc_flag = parameters.find("--log_utc_time");
    const bool utc = utc_flag != parameters.end() && utc_flag->second == "1";
    auto long_flowcell = parameters.find("--flowcell_id");
    if (long_flowcell != parameters.end())
        log->open(classic::get_log_directory(output) + "/" + long_flowcell->second + "_quillon.log", utc);
    else
        log->open(output + "/quillon.log", utc);

    blackboard->getParameter("--command_line", command_line);
    log_status(command_line);

    std::set<std::string> known;
    for (const auto& [short_name, long_name] : Parameter_names) {
        known.insert(short_name);
        if (*long_name != '\0')
            known.insert(long_name);
    }
    for (const auto& [name, value] : parameters) {
        if (known.count(name) == 0) {
            help();
            log_exception("Unknown parameter " + name);
        }
    }
    for (const auto& [short_name, long_name] : Parameter_names) {
        if (*long_name == '\0')
            continue;
        auto given = parameters.find(long_name);
        if (given != parameters.end() && parameters.count(short_name) == 0)
            parameters[short_name] = given->second;
    }
    for (const auto& [short_name, long_name] : Parameter_names) {
        if (*long_name != '\0')
            parameters.erase(long_name);
    }

    // Stores the default of an absent name; true when the name was given.
    auto given = [&parameters](const char* name, const char* default_value) {
        if (parameters.count(name) != 0)
            return true;
        parameters[name] = default_value;
        return false;
    };

    thread_lanes = given("--threadlanes", "1") ? number_of(parameters["--threadlanes"]) != 0 : true;
    given("--log_utc_time", "0");
    oscores = given("--oscores", "0") && number_of(parameters["--oscores"]) != 0;
    qscore_cutoff = given("--qscorecutoff", "0")
                        ? static_cast<unsigned char>(number_of(parameters["--qscorecutoff"]) & 0xFF)
                        : 0;
    barcode_allowed_mismatches = 0;
    if (given("--barcodeallowedmismatches", "0")) {
        barcode_allowed_mismatches = number_of(parameters["--barcodeallowedmismatches"]);
        if (barcode_allowed_mismatches > 1)
            log_exception("Invalid parameter value, --barcodeallowedmismatches cannot be greater than 1. " +
                          parameters["--barcodeallowedmismatches"]);
    }
    umi_qscores = given("--umiqscores", "0") ? number_of(parameters["--umiqscores"]) : 0;
    umi_tag = given("--umitag", "") ? parameters["--umitag"] : std::string();

    if (parameters.count("--threadsperlane") == 0) {
        double memory = static_cast<double>(classic::getTotalSystemMemory());
        memory = memory / 1.024e9;
        memory = memory * 0.9;
        memory = memory * 0.125;
        const auto threads = static_cast<std::uint64_t>(memory);
        char text[32];
        std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(threads < 16 ? threads : 16));
        parameters["--threadsperlane"] = text;
    }
    threads_per_lane = number_of(parameters["--threadsperlane"]);
    if (threads_per_lane == 0)
        log_exception("Invalid parameter value, --threadsperlane " + parameters["--threadsperlane"]);
    if (threads_per_lane > 16)
        log_exception("Invalid parameter value, --threadsperlane cannot be grater than 16. " +
                      parameters["--threadsperlane"]);

    given("--designsheet", "");
    given("--samplesheet", "");
    given("--controlsfile", "");
    controls_file = parameters["--controlsfile"];
    file_prefix = parameters.count("--flowcellid") != 0 ? parameters["--flowcellid"] : std::string();

    if (parameters["--designsheet"].empty() && exists(input + "/quillon_params.csv"))
        parameters["--designsheet"] = input + "/quillon_params.csv";
    if (parameters["--samplesheet"].empty() && exists(input + "/SampleSheetUsed.csv"))
        parameters["--samplesheet"] = input + "/SampleSheetUsed.csv";

    if (!controls_file.empty()) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(controls_file, error))
            log_exception("Invalid parameter value, --controlsfile " + parameters["--controlsfile"]);
    }
    return true;
}
