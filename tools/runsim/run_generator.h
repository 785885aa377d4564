#pragma once
// Generates a synthetic run folder from a RunRecipe and returns its truth.
//
//   runsim::RunRecipe recipe = runsim::RunRecipe::small();
//   recipe.out = "/tmp/run1";
//   runsim::RunTruth run = runsim::generate_run(recipe);
//   run.tile(1, 1).zel_files[0]              // <run>/L01/S01_T001/R1.zel
//   run.tile(1, 1).spot_truth[5].sample      // position in run.samples, -1 for none
//
// Written: the metadata file, lanes L01 (L02) with tile folders S01_T001 ... holding Rn.zel and
// Rn_positions per read (or Readn/called_bases.zel and Readn/called_bases_positions), the design sheet, the sample sheet (and the legacy one when named), the
// controls FASTA and the manifest. Tiles are generated and compressed in parallel; the files
// depend only on the recipe.
#include "tools/runsim/run_recipe.h"
#include "tools/runsim/run_truth.h"

namespace runsim {

// Throws std::invalid_argument for a bad RunRecipe and std::runtime_error when a file cannot be
// written or the samples' indexes cannot be chosen.
RunTruth generate_run(const RunRecipe& recipe);

// The base-call file of a read in a tile folder: folder / ("R" + read + ".zel"), or with
// read_folders folder / ("Read" + read) / "called_bases.zel".
std::filesystem::path zel_file_name(const std::filesystem::path& folder, int read, bool read_folders = false);
// The positions file of a read: folder / ("R" + read + "_positions"), or with read_folders
// folder / ("Read" + read) / "called_bases_positions".
std::filesystem::path positions_file_name(const std::filesystem::path& folder, int read, bool read_folders = false);

} // namespace runsim
