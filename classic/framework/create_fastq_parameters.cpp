// The classic program's parameters: the usage text, the check of every name, the long
// spellings, the defaults and the checks of the values.
#include "classic/framework/file_system.h"
#include "classic/framework/utilities.h"
#include "classic/processing/create_fastq.h"
#include "common/output_folder_lock.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

namespace {

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

// Tile threads per lane when none are asked for: one per 9.1 GB or so of physical memory, at
// most 16 (0 below that, which the check refuses).
std::string default_threads_per_lane()
{
    double memory = static_cast<double>(classic::getTotalSystemMemory());
    memory = memory / 1.024e9;
    memory = memory * 0.9;
    memory = memory * 0.125;
    const auto threads = static_cast<std::uint64_t>(memory);
    char text[32];
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(threads < 16 ? threads : 16));
    return text;
}

// One parameter of the program. An absent one is given its default (default_value, else
// computed_default's, else none); an empty one the run folder's file of that name when there is
// one. Then store puts its value (empty when absent) into its member, and check gives its
// refusal, or "".
struct Parameter {
    const char* name;           // short spelling
    const char* long_name = ""; // "" when there is none
    const char* default_value = nullptr;
    std::string (*computed_default)() = nullptr;
    const char* run_folder_file = nullptr;
    void (*store)(CreateFastq& fastq, const std::string& value) = nullptr;
    std::string (*check)(const std::string& value) = nullptr;
};

// Every parameter. The first three are read before the log file is opened; the others are
// filled, stored and checked in this order.
const Parameter Parameter_table[] = {
    {.name = "--input"},
    {.name = "--output"},
    {.name = "--command_line"},
    {.name = "--threadlanes",
     .long_name = "--thread_lanes",
     .default_value = "1",
     .store = [](CreateFastq& fastq, const std::string& value) { fastq.thread_lanes = number_of(value) != 0; }},
    {.name = "--log_utc_time", .default_value = "0"},
    {.name = "--oscores",
     .default_value = "0",
     .store = [](CreateFastq& fastq, const std::string& value) { fastq.oscores = number_of(value) != 0; }},
    {.name = "--qscorecutoff",
     .default_value = "0",
     .store =
         [](CreateFastq& fastq, const std::string& value) {
             fastq.qscore_cutoff = static_cast<unsigned char>(number_of(value) & 0xFF);
         }},
    {.name = "--barcodeallowedmismatches",
     .long_name = "--barcode_allowed_mismatches",
     .default_value = "0",
     .store = [](CreateFastq& fastq, const std::string& value) { fastq.barcode_allowed_mismatches = number_of(value); },
     .check =
         [](const std::string& value) {
             return number_of(value) > 1
                        ? "Invalid parameter value, --barcodeallowedmismatches cannot be greater than 1. " + value
                        : std::string();
         }},
    {.name = "--umiqscores",
     .long_name = "--umi_qscores",
     .default_value = "0",
     .store = [](CreateFastq& fastq, const std::string& value) { fastq.umi_qscores = number_of(value); }},
    {.name = "--umitag",
     .long_name = "--umi_tag",
     .default_value = "",
     .store = [](CreateFastq& fastq, const std::string& value) { fastq.umi_tag = value; }},
    {.name = "--threadsperlane",
     .long_name = "--threads_per_lane",
     .computed_default = default_threads_per_lane,
     .store = [](CreateFastq& fastq, const std::string& value) { fastq.threads_per_lane = number_of(value); },
     .check =
         [](const std::string& value) {
             if (number_of(value) == 0)
                 return "Invalid parameter value, --threadsperlane " + value;
             if (number_of(value) > 16)
                 return "Invalid parameter value, --threadsperlane cannot be grater than 16. " + value;
             return std::string();
         }},
    {.name = "--designsheet",
     .long_name = "--design_sheet",
     .default_value = "",
     .run_folder_file = "quillon_params.csv"},
    {.name = "--samplesheet",
     .long_name = "--sample_sheet",
     .default_value = "",
     .run_folder_file = "SampleSheetUsed.csv"},
    {.name = "--flowcellid",
     .long_name = "--flowcell_id",
     .store = [](CreateFastq& fastq, const std::string& value) { fastq.file_prefix = value; }},
    {.name = "--controlsfile",
     .long_name = "--controls_file",
     .default_value = "",
     .store = [](CreateFastq& fastq, const std::string& value) { fastq.controls_file = value; },
     .check =
         [](const std::string& value) {
             std::error_code error;
             return value.empty() || std::filesystem::is_regular_file(value, error)
                        ? std::string()
                        : "Invalid parameter value, --controlsfile " + value;
         }},
};

// The parameter's value once an absent one has its default and an empty one the run folder's
// file (from_run_folder then set); empty when it is absent without a default.
std::string filled_value(AlgorithmFramework::Parameters& parameters, const Parameter& parameter,
                         const std::string& input, bool& from_run_folder)
{
    auto given = parameters.find(parameter.name);
    if (given == parameters.end() && parameter.default_value != nullptr)
        given = parameters.emplace(parameter.name, parameter.default_value).first;
    else if (given == parameters.end() && parameter.computed_default != nullptr)
        given = parameters.emplace(parameter.name, parameter.computed_default()).first;
    if (given == parameters.end())
        return "";
    from_run_folder = parameter.run_folder_file != nullptr && given->second.empty() &&
                      exists(input + "/" + parameter.run_folder_file);
    if (from_run_folder)
        given->second = input + "/" + parameter.run_folder_file;
    return given->second;
}

bool is_known(const std::string& name)
{
    return std::any_of(std::begin(Parameter_table), std::end(Parameter_table), [&name](const Parameter& parameter) {
        return name == parameter.name || (*parameter.long_name != '\0' && name == parameter.long_name);
    });
}

// A long spelling's value goes to the short spelling when that is absent; then no long spelling
// is left.
void take_long_spellings(AlgorithmFramework::Parameters& parameters)
{
    for (const Parameter& parameter : Parameter_table) {
        if (*parameter.long_name == '\0')
            continue;
        auto given = parameters.find(parameter.long_name);
        if (given != parameters.end() && parameters.count(parameter.name) == 0)
            parameters[parameter.name] = given->second;
    }
    for (const Parameter& parameter : Parameter_table) {
        if (*parameter.long_name != '\0')
            parameters.erase(parameter.long_name);
    }
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
    // The flowcell id names the output files and may name the log: it is checked before any file
    // is made.
    for (const char* spelling : {"--flowcellid", "--flowcell_id"}) {
        if (const auto given = parameters.find(spelling); given != parameters.end())
            check_run_id("flowcell id", given->second, std::string("the command line (") + spelling + ")");
    }

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

    for (const auto& [name, value] : parameters) {
        if (!is_known(name)) {
            help();
            log_exception("Unknown parameter " + name);
        }
    }
    take_long_spellings(parameters);
    for (const Parameter& parameter : Parameter_table) {
        bool from_run_folder = false;
        const std::string value = filled_value(parameters, parameter, input, from_run_folder);
        if (from_run_folder && std::string_view(parameter.name) == "--samplesheet")
            run_folder_sample_sheet = true;
        if (parameter.store != nullptr)
            parameter.store(*this, value);
        if (const std::string refusal = parameter.check != nullptr ? parameter.check(value) : ""; !refusal.empty())
            log_exception(refusal);
    }
    return true;
}
