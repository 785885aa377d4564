#include "classic/processing/fastq_names.h"

#include <cstdlib>

namespace classic {

bool is_track_written(const std::string& track, bool output_index_fastq)
{
    return output_index_fastq || (track != "Index1" && track != "Index2");
}

std::uint64_t lane_index(const std::string& lane_name)
{
    const long number = lane_name.size() > 1 ? std::strtol(lane_name.c_str() + 1, nullptr, 10) : 0;
    return number > 0 ? static_cast<std::uint64_t>(number - 1) : 0;
}

std::string lane_name(std::uint64_t lane)
{
    const std::string number = std::to_string(lane + 1);
    return "L" + std::string(number.size() < 2 ? 1 : 0, '0') + number;
}

std::string sample_name(const std::vector<IndexData>& rows, int sample)
{
    if (sample >= 0 && static_cast<std::size_t>(sample) < rows.size())
        return rows[static_cast<std::size_t>(sample)].sample_id;
    return "Undetermined";
}

std::string pair_suffix(const std::vector<PairRead>& pairs, int read)
{
    for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
        if (pair->read == read)
            return "_" + pair->pair;
    }
    return "";
}

std::string sample_library(const std::string& name, const std::string& suffix)
{
    return "Sample_Library_" + name + suffix;
}

std::string fastq_file_name(const std::string& folder, const std::string& prefix, const std::string& lane,
                            const std::string& track, const std::string& library)
{
    const std::string lane_part = lane.empty() ? "" : lane + "_";
    return folder + "/" + prefix + "_" + lane_part + track + "_" + library + ".fastq.gz";
}

} // namespace classic
