// Lane merge: joins the L01 and L02 FASTQ files of every output into one file without a lane.
// The merged file is written under its temporary name and renamed once closed; only then are
// the lane files removed, so an interrupted merge leaves the lane files whole. An output whose
// lane file a lane left incomplete (it lost tiles) is not merged.
#include "classic/processing/create_fastq.h"

#include "classic/framework/utilities.h"
#include "classic/processing/fastq_names.h"
#include "common/partial_files.h"

#include <filesystem>
#include <map>
#include <string>
#include <utility>

namespace {

// The merge has one output open at a time, so it keeps the full gz buffer.
constexpr unsigned Gz_buffer_size = 2048000;

bool exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// Removes the file; false when it existed and could not be removed.
bool remove_file(const std::string& path)
{
    std::error_code error;
    std::filesystem::remove(path, error);
    return !error;
}

} // namespace

void CreateFastq::merge_lane_fastqs()
{
    const std::string folder = classic::get_fastq_directory(output);
    // Merged file -> (L01 file, L02 file); the first entry of a merged name stays.
    std::map<std::string, std::pair<std::string, std::string>> plan;
    auto add = [&](const std::string& track, const std::string& library) {
        plan.emplace(classic::fastq_file_name(folder, file_prefix, "", track, library),
                     std::pair(classic::fastq_file_name(folder, file_prefix, classic::lane_name(0), track, library),
                               classic::fastq_file_name(folder, file_prefix, classic::lane_name(1), track, library)));
    };
    for (const auto& outputs : lane_demux) {
        for (const auto& [key, demux] : outputs) {
            add(get_track_name(static_cast<std::uint64_t>(key.second)),
                classic::sample_library(classic::sample_name(sample_sheet_local.index_data, key.first),
                                        classic::pair_suffix(sample_sheet_local.paired_reads, demux.read)));
        }
    }
    for (std::uint64_t r = 0; r < read_numbers.size(); ++r) {
        const std::string track = get_track_name(r);
        add(track, classic::control_library);
        add(track, classic::undetermined_library);
        add(track, classic::sample_library_of_lane);
    }

    bool removed = true;
    for (const auto& [merged, lanes] : plan) {
        const auto& [l01, l02] = lanes;
        if (!exists(l01) && !exists(l02))
            continue;
        if ((!left_fastqs.empty() && left_fastqs[0].count(l01) != 0) ||
            (left_fastqs.size() > 1 && left_fastqs[1].count(l02) != 0))
            continue;
        log_status("Merging fastq files " + merged);
        GzFile out = open_fastq_output(merged, Gz_buffer_size);
        // The lane files go only once both are copied whole and the merged file is closed;
        // otherwise they stay and the partial merged file goes.
        std::string failure;
        for (const std::string* lane_file : {&l01, &l02}) {
            if (failure.empty() && !classic::append_fastq_data(out, *lane_file))
                failure = "Cannot merge " + *lane_file + " into " + merged;
        }
        if (gz_close(out) != Gz_ok && failure.empty())
            failure = "Cannot write to output file " + merged;
        if (!failure.empty()) {
            PartialFiles::discard(merged);
            log_error(failure + "; the lane files are kept.");
            continue;
        }
        publish_fastq_output(merged);
        removed = remove_file(l01) && removed;
        removed = remove_file(l02) && removed;
    }
    if (!removed)
        log_warning("Could not remove lane fasta files.");
}
