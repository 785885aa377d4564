#include "converter/app/config.h"

#include "common/run_identifier.h"
#include "converter/app/file_checks.h"
#include "converter/app/logger.h"
#include "converter/app/metadata.h"
#include "converter/app/utilities.h"

#include <oneapi/tbb/info.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Converts an option's integer value; on failure prints why to standard error and clears
// ok. Blanks and a sign may lead, text after the digits is ignored.
int parse_integer(const std::string& text, int min, int max, bool& ok)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (end == begin) {
        std::cerr << "Command line option: expecting integer value but got " << text << '\n';
        ok = false;
        return 0;
    }
    // A number too large for an int is out of range like any other.
    const bool overflow = errno == ERANGE || value < INT_MIN || value > INT_MAX;
    const int result = value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : static_cast<int>(value);
    if (ok && (overflow || result < min || result > max)) {
        std::cerr << "Command line option: integer value out of range: " << text << '\n';
        ok = false;
    }
    return result;
}

// The values of one option after its "=": a list separated by commas, where a value may be
// put in double quotes (keeping its commas) and continue over the following arguments,
// joined by one blank. index is the option's argument and, when a quoted value ran on,
// becomes the argument that held its closing quote.
enum class ValueResult { ok, empty_value, missing_quote };

ValueResult parse_values(int argc, char** argv, int& index, std::size_t pos, std::vector<std::string>& values)
{
    std::string arg = argv[index];
    while (pos < arg.size()) {
        std::string value;
        if (arg[pos] == '"') {
            std::size_t close = arg.find('"', pos + 1);
            if (close == std::string::npos) {
                value = arg.substr(pos + 1);
                for (;;) {
                    if (++index >= argc)
                        return ValueResult::missing_quote;
                    arg = argv[index];
                    close = arg.find('"');
                    value += ' ';
                    if (close != std::string::npos)
                        break;
                    value += arg;
                }
                value += arg.substr(0, close);
            } else {
                value = arg.substr(pos + 1, close - pos - 1);
            }
            pos = close + 1;
            if (pos < arg.size() && arg[pos] != ',')
                return ValueResult::empty_value; // text after a closing quote
        } else {
            const std::size_t comma = std::min(arg.find(',', pos), arg.size());
            value = arg.substr(pos, comma - pos);
            pos = comma;
        }
        if (value.empty())
            return ValueResult::empty_value;
        values.push_back(std::move(value));
        if (pos < arg.size())
            ++pos; // the comma; one at the very end closes the list
    }
    return ValueResult::ok;
}

const char* bool_text(bool value)
{
    return value ? "true" : "false";
}

// The flowcell id names the analysis folder, the log file and every output file, so it
// must stay one plain file-name component. All three ids make up every FASTQ read name.
bool check_identifiers(const std::string& flowcell_id, const std::string& instrument_id, const std::string& run_id,
                       bool flowcell_from_command_line, const fs::path& metadata_file)
{
    const std::string metadata_source = "metadata file " + quoted_path(metadata_file.filename());
    // Without one, every output would be named alike ("_L01_Read1_...") whatever the run.
    if (flowcell_id.empty()) {
        log_error() << "No flowcell id in " << metadata_source << ": give one with --flowcellid";
        log_flush();
        return false;
    }
    if (!run_identifier::is_file_name_part(flowcell_id) ||
        run_identifier::has_space_or_control_character(flowcell_id)) {
        log_error() << "Invalid flowcell id " << run_identifier::printable(flowcell_id) << " from "
                    << (flowcell_from_command_line ? std::string("the command line (--flowcellid)") : metadata_source)
                    << ": a flowcell id must not be \".\" or \"..\" nor contain '/', white space or "
                       "control characters";
        log_flush();
        return false;
    }
    const std::pair<const char*, const std::string*> ids[] = {{"instrument id", &instrument_id}, {"run id", &run_id}};
    for (const auto& [name, id] : ids) {
        if (run_identifier::has_space_or_control_character(*id)) {
            log_error() << "Invalid " << name << " " << run_identifier::printable(*id) << " from " << metadata_source
                        << ": it must not contain white space or control characters";
            log_flush();
            return false;
        }
        if (id->empty())
            log_warn() << "No " << name << " in " << metadata_source << ": the FASTQ read names go without it";
    }
    return true;
}

} // namespace

Config::Config() : threads(tbb::info::default_concurrency()) {}

bool Config::initialize(int argc, char** argv)
{
    if (!parse_args(argc, argv)) {
        print_usage(argc > 0 && argv[0] ? argv[0] : "");
        return false;
    }
    return validate_folder(input_folder, false) && read_metadata() && validate_folders() &&
           validate_specification_files();
}

bool Config::parse_args(int argc, char** argv)
{
    if (argc < 2)
        return false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            std::cerr << "Expecting option beginning with '--', but got: " << arg << '\n';
            return false;
        }
        const std::size_t equals = arg.find('=', 2);
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        std::vector<std::string> values;
        if (equals != std::string::npos) {
            switch (parse_values(argc, argv, i, equals + 1, values)) {
            case ValueResult::ok:
                break;
            case ValueResult::empty_value:
                std::cerr << "Invalid option: " << '\n';
                return false;
            case ValueResult::missing_quote:
                std::cerr << "Command line option: missing terminating '\"'" << '\n';
                return false;
            }
        }
        if (!set_option(name, values))
            return false;
    }
    return true;
}

bool Config::set_option(const std::string& name, const std::vector<std::string>& values)
{
    bool ok = true;
    const bool one_value = values.size() == 1;
    const std::string value = one_value ? values[0] : std::string();
    if (name == "logutctime")
        log_utc_time = true;
    else if (name == "trimadapters")
        trim_adapters = true;
    else if (name == "uncompressed")
        compress = false;
    else if (name == "debug")
        log_level = DEBUG;
    else if (name == "oscores")
        oscores = true;
    else if (name == "mutate")
        mutate_enabled = true;
    else if (!one_value)
        ok = false;
    else if (name == "input")
        input_folder = value;
    else if (name == "output")
        output_folder = value;
    else if (name == "controlsfile")
        controls_file = value;
    else if (name == "samplesheet")
        sample_sheet_file = value;
    else if (name == "designsheet")
        design_sheet_file = value;
    else if (name == "flowcellid")
        flowcell_id = value;
    else if (name == "threads") {
        threads = parse_integer(value, 0, INT_MAX, ok);
        if (!ok)
            return false;
    } else if (name == "k") {
        k = parse_integer(value, 4, 12, ok);
        if (!ok)
            return false;
    } else if (name == "repeat") {
        repeat = parse_integer(value, 1, INT_MAX, ok);
        if (!ok)
            return false;
    } else if (name == "maxgap") {
        maxgap = parse_integer(value, 15, 256, ok);
        if (!ok)
            return false;
    } else
        ok = false;
    if (!ok)
        std::cerr << "Invalid option: " << name << '\n';
    return ok;
}

void Config::print_usage(const std::string& program) const
{
    std::cerr
        << "\nUSAGE: " << program << " [OPTIONS]\n\n"
        << "OPTIONS:\n"
        << "  --input=folder           path to the input (<run_folder>). . . (required)\n"
        << "  --output=folder          path to the output folder . . . . . . default <run_folder>\n"
        << "  --controlsfile=filepath  path to control fasta file  . . . . . default "
           "<install_folder>/data/controls.fasta\n"
        << "  --samplesheet=filepath   path to sample sheet file . . . . . . default <run_folder>/SampleSheetUsed.csv\n"
        << "  --designsheet=filepath   path to quillon design sheet file . default <run_folder>/quillon_params.csv\n"
        << "  --flowcellid             the flowcell identification . . . . . default (determined from metadata xml "
           "file)\n"
        << "  --trimadapters           trim adapters from read 3' end  . . . default " << bool_text(trim_adapters)
        << "\n"
        << "  --threads=N              max number of concurrent threads. . . default " << threads << "\n"
        << "  --logutctime             for timestamps, use universal time. . default " << bool_text(log_utc_time)
        << "\n"
        << "INTERNAL USE:\n"
        << "  --k=N           kmer size (must range from 4 to 12) . . . . .. default " << k << "\n"
        << "  --minchain=N    minimizer chain length required\n"
        << "                  to be considered a control read  . . . . . . . default " << minchain << "\n"
        << "  --maxgap=N      maximum gap between minimizers before a chain\n"
        << "                  is split into primary and secondary chains . . default " << maxgap << "\n"
        << "  --debug         log debug information  . . . . . . . . . . . . default false\n"
        << "  --repeat=N      repeat (N) times on given zel files  . . . . . default 1\n"
        << "  --oscores       report observed qscore (oscore)  . . . . . . . default false\n"
        << "  --uncompressed  No gzip compression on output files  . . . . . default false\n"
        << "  --mutate        generate mutations for testing . . . . . . . . default false\n";
}

bool Config::validate_folders()
{
    bool ok = validate_folder(input_folder, false);
    if (output_folder.empty())
        output_folder = input_folder;
    if (ok)
        ok = validate_folder(output_folder, false);
    // Before anything is written: a second run into the folder would corrupt the first's
    // files or replace them.
    std::string refused;
    if (ok && !output_lock.acquire(output_folder, refused)) {
        log_error() << "Output folder refused: " << refused;
        log_flush();
        ok = false;
    }

    const bool new_structure = is_new_folder_structure(input_folder);
    metrics_folder = new_structure ? output_folder / "Metrics" : output_folder;
    fastq_folder = new_structure ? output_folder / "FASTQs" : output_folder;
    analysis_folder = output_folder / (flowcell_id + "_Logs") / "Analysis";
    analysis_metrics_folder = analysis_folder / "Metrics";

    if (!ok)
        return false;
    std::vector<fs::path> folders = {metrics_folder, fastq_folder, analysis_folder, analysis_metrics_folder};
    if (new_structure) {
        folders.push_back(metrics_folder / "L01");
        folders.push_back(metrics_folder / "L02");
    }
    for (const auto& folder : folders)
        if (!validate_folder(folder, true))
            return false;
    return true;
}

bool Config::validate_specification_files()
{
    return validate_file(controls_file, fs::path(), false, "Control reference file") &&
           validate_file(sample_sheet_file, input_folder / "SampleSheetUsed.csv", false, "Sample sheet") &&
           validate_file(design_sheet_file, input_folder / "quillon_params.csv", false, "Quillon design sheet");
}

bool Config::read_metadata()
{
    Metadata metadata;
    if (!metadata.read(input_folder, flowcell_id)) {
        if (!metadata.metadata_file.empty())
            log_error() << "Metadata file '" << quoted_path(metadata.metadata_file.filename()) << "' not loaded from "
                        << input_folder.string();
        else
            log_error() << "Metadata file could not be loaded from " << input_folder.string();
        log_flush();
        return false;
    }
    log_info() << "Loaded metadata file: " << quoted_path(metadata.metadata_file.filename());

    const bool flowcell_from_command_line = !flowcell_id.empty();
    if (!metadata.flowcell_id.empty() && flowcell_id.empty())
        flowcell_id = metadata.flowcell_id;
    instrument_id = metadata.instrument_id;
    run_id = metadata.run_id;
    return check_identifiers(flowcell_id, instrument_id, run_id, flowcell_from_command_line, metadata.metadata_file);
}
