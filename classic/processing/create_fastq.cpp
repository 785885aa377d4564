// The run of the classic program and what it finds in the run folder: lanes, tiles and reads.
#include "classic/processing/create_fastq.h"

#include "classic/framework/af_exception.h"
#include "classic/framework/file_system.h"
#include "classic/framework/profiler.h"
#include "classic/framework/utilities.h"
#include "classic/processing/thread_group.h"
#include "common/dax_unzip.h"
#include "common/little_endian.h"
#include "common/run_identifier.h"
#include "common/zel_header.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* Version = "5.11.0";
constexpr int Zel_unzip_threads = 4;
constexpr int Lane_folders = 2; // L01 and L02
constexpr std::uint64_t Max_cycles = INT32_MAX;

bool exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

bool is_folder(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// Appends the folder, when it is a folder, and every folder below it at any depth.
void add_folders_below(const std::string& folder, std::vector<std::string>& paths)
{
    if (!is_folder(folder))
        return;
    paths.push_back(folder);
    std::error_code error;
    std::filesystem::recursive_directory_iterator entry(
        folder, std::filesystem::directory_options::skip_permission_denied, error);
    for (; !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error)) {
        if (is_folder(entry->path()))
            paths.push_back(entry->path().string());
    }
}

// The items joined by ", ", the last two by the word: "a, b or c".
std::string listed(const std::vector<std::string>& items, const std::string& last_word)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " " + last_word + " " : ", ") + items[i];
    return text;
}

bool occurs_in(const std::string& path, std::string pattern)
{
    if (path.find(pattern) != std::string::npos)
        return true;
    std::replace(pattern.begin(), pattern.end(), '/', '\\');
    return path.find(pattern) != std::string::npos;
}

} // namespace

CreateFastq::CreateFastq(std::string name, AlgorithmFramework::Log& run_log,
                         AlgorithmFramework::Blackboard& run_blackboard)
    : Algorithm(std::move(name), run_log, run_blackboard)
{
    this->log->echo = true;
}

void CreateFastq::log_status(const std::string& text)
{
    std::stringstream message;
    message << text;
    log->status(message);
}

void CreateFastq::log_warning(const std::string& text)
{
    std::stringstream message;
    message << text;
    log->warning(message);
}

void CreateFastq::log_error(const std::string& text)
{
    std::stringstream message;
    message << text;
    log->error(message);
}

void CreateFastq::log_exception(const std::string& text)
{
    std::stringstream message;
    message << text;
    log->exception(message);
}

bool CreateFastq::run()
{
    AlgorithmFramework::Profiler profiler(*log, name_);
    profiler.start();
    if (!validate_parameters())
        return false;

    AlgorithmFramework::FileSystem::mkdir(output);
    // Memory that runs out ends the run with the step it ran out in.
    try {
        current_step = "reading the run metadata";
        if (read_run_metadata()) {
            prepare_folders();
            convert_run();
        }
        current_step = "merging the lanes' FASTQ files";
        if (design_sheet.quillon_settings.MergeLanes)
            merge_lane_fastqs();
    } catch (const std::bad_alloc&) {
        log_exception("The run ran out of memory while " + current_step);
    }
    validate_run();
    profiler.stop();
    return false;
}

void CreateFastq::check_run_id(const std::string& name, const std::string& id, const std::string& source)
{
    if (!run_identifier::has_space_or_control_character(id) && run_identifier::is_file_name_part(id))
        return;
    log_exception("Invalid " + name + " " + run_identifier::printable(id) + " from " + source +
                  ": an id must not be \".\" or \"..\" nor contain '/', white space or control characters");
}

bool CreateFastq::read_run_metadata()
{
    classic::MetadataFile metadata;
    if (!classic::parse_metadata(input, file_prefix, instrument_id, run_id, flowcell_id, &metadata)) {
        log_error("Cannot find metadata.xml for this input.");
        return false;
    }
    if (!metadata.readable) {
        log_warning("Cannot read " + metadata.path + ": the reads are named with the defaults " + instrument_id + ", " +
                    run_id + " and " + flowcell_id);
    } else if (!metadata.missing.empty()) {
        std::vector<std::string> defaults; // the ids that keep their defaults
        for (const std::string& element : metadata.missing)
            defaults.push_back(element == "Instrument_ID"     ? instrument_id
                               : element == "Run_Folder_Name" ? run_id
                                                              : flowcell_id);
        log_warning(metadata.path + " holds no " + listed(metadata.missing, "or") +
                    ": the reads are named with the default" + (defaults.size() > 1 ? "s " : " ") +
                    listed(defaults, "and"));
    }
    const std::string source = "metadata file " + metadata.path;
    check_run_id("instrument id", instrument_id, source);
    check_run_id("run id", run_id, source);
    check_run_id("flowcell id", flowcell_id, source);
    log_status(std::string("quillon version ") + Version);
    log_status("instrument_id " + instrument_id);
    log_status("run_id " + run_id);
    log_status("flowcell_id " + flowcell_id);
    if (file_prefix.empty())
        file_prefix = flowcell_id;
    return true;
}

void CreateFastq::prepare_folders()
{
    // The FASTQ and metrics folders are made for lanes directly in the run folder too.
    has_data_folder = false;
    data_folder.clear();
    AlgorithmFramework::FileSystem::mkdir(output + "/" + classic::fastq_tag + "/");
    AlgorithmFramework::FileSystem::mkdir(classic::get_metrics_directory(output) + "/");
    // A Base_Calls folder holding either lane folder, so that a run of L02 alone is found.
    if (exists(classic::get_data_directory(input) + "/L01") || exists(classic::get_data_directory(input) + "/L02")) {
        has_data_folder = true;
        data_folder = "/" + classic::data_tag;
        AlgorithmFramework::FileSystem::mkdir(classic::get_metrics_directory(output) + "/L01/");
        AlgorithmFramework::FileSystem::mkdir(classic::get_metrics_directory(output) + "/L02/");
    }
}

void CreateFastq::convert_run()
{
    LaneTable lanes;
    current_step = "loading the sheets";
    load_quillon_sheet();
    current_step = "finding the lanes and tiles";
    load_run(input, lanes);
    current_step = "loading the controls file " + controls_file;
    load_controls();
    const bool any_tile =
        std::any_of(lanes.begin(), lanes.end(), [](const auto& lane) { return !lane.second.empty(); });
    if (!any_tile) {
        log_error("No runs found for this input.");
        return;
    }
    current_step = "finding the reads";
    initialize_read_type_counts(lanes);
    if (read_numbers.empty()) {
        log_error("No reads found for this input.");
        return;
    }
    // Every per-lane table has one entry for each lane folder name, L01 and L02, at the lane's
    // number - 1, whichever lanes the run holds.
    lane_demux.assign(Lane_folders, {});
    current_step = "loading the samples";
    if (sample_sheet.run_information.FileFormatVersion != 0)
        load_sample_sheet_new();
    else
        load_sample_sheet_old();
    lane_tiles.clear();
    lane_counts.clear();
    lost_tiles.clear();
    left_fastqs.clear();
    for (int lane = 0; lane < Lane_folders; ++lane)
        initialize_lane();
    check_open_files(lanes);
    current_step = "converting the lanes' tiles";
    run_lanes(lanes);
    current_step = "writing the metrics files";
    output_metrics(lanes);
    frequency_metrics();
}

void CreateFastq::run_lanes(LaneTable& lanes)
{
    if (!thread_lanes) {
        for (const auto& [lane, tiles] : lanes)
            thread_work(lane, tiles);
        return;
    }
    // One thread per lane; every lane thread is joined before the first lane's error goes on.
    ThreadGroup threads;
    for (const auto& [lane, tiles] : lanes)
        threads.start([this, lane = lane, tiles = tiles] { thread_work(lane, tiles); });
    threads.join();
}

void CreateFastq::initialize_lane()
{
    lane_tiles.emplace_back();
    lost_tiles.emplace_back();
    left_fastqs.emplace_back();
    Counts counts;
    counts.initialize(control_classes, sample_names);
    lane_counts.emplace_back(read_numbers.size(), counts);
}

void CreateFastq::load_run(const std::string& folder, LaneTable& lanes)
{
    const std::string base = folder + data_folder;
    log_status("processing " + base);
    std::vector<std::string> candidates;
    add_folders_below(base + "/L01", candidates);
    add_folders_below(base + "/L02", candidates);
    std::sort(candidates.begin(), candidates.end());

    std::uint64_t tile_number = 1;
    std::string lane;
    for (const std::string& path : candidates) {
        if (path.empty())
            continue;
        if (path.size() >= 3 && path[path.size() - 3] == 'L') {
            lane = path.substr(path.size() - 3);
            if (lane == "L01" || lane == "L02")
                lanes[lane];
            continue;
        }
        if (path.size() < 3 || path.compare(path.size() - 3, 3, "zel") != 0)
            continue;
        auto entry = lanes.find(lane);
        if (lane.empty() || entry == lanes.end() || !is_tile_included(path) || is_tile_excluded(path))
            continue;
        entry->second.emplace_back(tile_number, path);
        ++tile_number;
    }
}

bool CreateFastq::is_tile_included(const std::string& path)
{
    const auto& patterns = design_sheet.quillon_settings.IncludeTiles;
    if (patterns.empty())
        return true;
    return std::any_of(patterns.begin(), patterns.end(),
                       [&path](const std::string& pattern) { return occurs_in(path, pattern); });
}

bool CreateFastq::is_tile_excluded(const std::string& path)
{
    const auto& patterns = design_sheet.quillon_settings.ExcludeTiles;
    return std::any_of(patterns.begin(), patterns.end(),
                       [&path](const std::string& pattern) { return occurs_in(path, pattern); });
}

void CreateFastq::initialize_read_type_counts(LaneTable& lanes)
{
    read_numbers.clear();
    read_cycles.clear();
    std::string folder = input + data_folder + "/L01/S01_T001/zel";
    if (auto l01 = lanes.find("L01"); l01 != lanes.end() && !l01->second.empty())
        folder = l01->second.front().second;
    else if (auto l02 = lanes.find("L02"); l02 != lanes.end() && !l02->second.empty())
        folder = l02->second.front().second;

    auto find_reads = [this](const std::string& tile_folder) {
        for (std::uint64_t n = 1; n <= 99; ++n) {
            std::string path = tile_folder + "/R" + std::to_string(n) + ".zel";
            if (!exists(path)) {
                path = tile_folder + "/Read" + std::to_string(n) + "/called_bases.zel";
                if (!exists(path))
                    continue;
            }
            read_numbers.push_back(n);
            read_cycles.push_back(get_read_length(path));
        }
    };
    find_reads(folder);
    if (read_numbers.empty())
        find_reads(input);
    for (std::size_t k = 0; k < read_numbers.size(); ++k)
        log_status("Read " + std::to_string(k + 1) + " cycle_count " + std::to_string(read_cycles[k]));
}

std::uint64_t CreateFastq::get_read_length(const std::string& path)
{
    // Only a regular file is read: a pipe or a device would block or never end.
    std::error_code status_error;
    if (!std::filesystem::is_regular_file(path, status_error))
        log_exception("Cannot open input file " + path);

    // Compressed files first (versions 3 and 4); a file that is not made of gzip members fails
    // its first read and falls through to the plain reading.
    std::uint64_t cycles = 0;
    std::uint64_t extra = 0;
    read_compressed_cycles(path, cycles, extra);
    if (cycles == 0)
        read_plain_cycles(path, cycles, extra);
    // Cycle counts are 32-bit signed numbers: the usable cycles are cycles - extra, 0 when negative.
    if (cycles > Max_cycles || extra > Max_cycles)
        log_exception("Incorrect file format for base call file " + path + " (" + std::to_string(cycles) + " cycles, " +
                      std::to_string(extra) + " extra: more than " + std::to_string(Max_cycles) + ")");
    return cycles > extra ? cycles - extra : 0;
}

void CreateFastq::read_compressed_cycles(const std::string& path, std::uint64_t& cycles, std::uint64_t& extra)
{
    std::uint64_t magic = Zel_file_type;
    std::uint64_t version = 1;
    std::uint64_t spots = 0;
    bool created = false;
    try {
        DaxUnZip reader(path, Zel_unzip_threads);
        reader.create();
        created = true;
        auto read_field = [&reader](std::uint64_t& field) {
            unsigned char bytes[8] = {};
            if (reader.decompress(bytes, sizeof bytes) != sizeof bytes)
                throw std::runtime_error("short header");
            field = little_endian::load_u64(bytes);
        };
        read_field(magic);
        if (magic != Zel_file_type)
            log_exception("Incorrect file type " + path);
        read_field(version);
        if (version == 3 || version == 4) {
            read_field(spots);
            read_field(cycles);
            read_field(extra);
        }
    } catch (const AlgorithmFramework::AFException&) {
        throw;
    } catch (const std::exception& e) {
        cycles = 0;
        if (!created)
            log_exception(e.what());
    }
}

void CreateFastq::read_plain_cycles(const std::string& path, std::uint64_t& cycles, std::uint64_t& extra)
{
    std::uint64_t magic = 0;
    std::uint64_t version = 0;
    std::uint64_t spots = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        log_exception("Cannot open input file " + path);
    auto read_field = [&file](std::uint64_t& field) {
        unsigned char bytes[8] = {};
        field = 0;
        if (!file.read(reinterpret_cast<char*>(bytes), sizeof bytes))
            return;
        field = little_endian::load_u64(bytes);
    };
    read_field(magic);
    if (magic != Zel_file_type)
        log_exception("Incorrect file type " + path);
    read_field(version);
    if (version != 1 && version != 2)
        log_exception("Incorrect file version " + path);
    read_field(spots);
    read_field(cycles);
    read_field(extra);
}
