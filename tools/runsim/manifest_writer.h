#pragma once
// Writes the manifest of a synthetic run: a JSON file with everything generate_run returns in
// memory. Top level: generator, seed, run folder and identifiers, the metadata file, the
// mismatch settings and whether the sample truth holds for every setting, the layout (reads with role, cycles, extra cycles and mask; UMIs), storage settings, the files
// beside the lanes, samples, controls, adapters, totals, and per lane its tiles with their
// files, counts and, when spot truth was kept, one object per spot:
//   {"spot":0,"x":..,"y":..,"sample":"S01" or null,"origin":"exact",
//    "i1_substitutions":0,"i2_substitutions":0,"index1":"..","index2":"..",
//    "control":"Ctl02" or null,"umi1":"..","umi2":"..",
//    "reads":[{"no_calls":0,"trailing_no_calls":0,
//              "adapter":"adapter_R1","adapter_start":12,            (only with an adapter)
//              "control_offset":40,"control_reverse":true,"control_substitutions":1}]}
//                                                                    (only for control reads)
// Paths are relative to the run folder where they lie inside it.
#include "tools/runsim/run_truth.h"

#include <filesystem>

namespace runsim {

// Writes the manifest; returns its size. Throws std::runtime_error.
std::uint64_t write_manifest(const RunTruth& run, const std::filesystem::path& path);

} // namespace runsim
