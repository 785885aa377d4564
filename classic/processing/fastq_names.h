#pragma once
// Names of the classic program's FASTQ outputs, shared by the lane writer and the lane merge so
// that both always name a file alike:
//   fastq_file_name(folder, prefix, "L01", "R1", sample_library(name, suffix))
//     -> folder/prefix_L01_R1_Sample_Library_<name><suffix>.fastq.gz
//   the same with an empty lane -> folder/prefix_R1_Sample_Library_<name><suffix>.fastq.gz (merged)
#include "classic/framework/sample_sheet_local.h"

#include <cstdint>
#include <string>
#include <vector>

namespace classic {

inline const std::string control_library = "Control_Library";
inline const std::string undetermined_library = "Sample_Library_Undetermined";
inline const std::string sample_library_of_lane = "Sample_Library"; // a lane without samples

// Whether a track's FASTQ files are written: index tracks ("Index1", "Index2") only when
// asked for.
bool is_track_written(const std::string& track, bool output_index_fastq);

// The lane's index from its folder name: the number after the first character, minus 1
// ("L01" gives 0, "L02" gives 1).
std::uint64_t lane_index(const std::string& lane_name);
// The lane's folder name from its index: "L01" for 0.
std::string lane_name(std::uint64_t lane);

// The sample ID of row `sample`, or "Undetermined" for -1 and any number outside the rows.
std::string sample_name(const std::vector<IndexData>& rows, int sample);

// "_" + the pair text of the last paired-read row of `read`, or "" when there is none.
std::string pair_suffix(const std::vector<PairRead>& pairs, int read);

// "Sample_Library_" + sample name + pair suffix.
std::string sample_library(const std::string& name, const std::string& suffix);

// folder + "/" + prefix + "_" + lane + "_" + track + "_" + library + ".fastq.gz"; an empty lane
// leaves out the lane and its "_" (the merged file of both lanes).
std::string fastq_file_name(const std::string& folder, const std::string& prefix, const std::string& lane,
                            const std::string& track, const std::string& library);

} // namespace classic
