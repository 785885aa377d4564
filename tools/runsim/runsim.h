#pragma once
// Everything of the synthetic run generator in one include:
//   generate_run (run_generator.h) with RunRecipe (run_recipe.h) and RunTruth (run_truth.h);
//   inject_fault (fault_injector.h);
//   write_zel_file and random_calls for stand-alone base-call files (zel_writer.h,
//   random_calls.h); read_zel_file and read_positions_file to read files back (zel_reader.h,
//   positions_file.h).
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/positions_file.h"
#include "tools/runsim/random_calls.h"
#include "tools/runsim/run_generator.h"
#include "tools/runsim/run_recipe.h"
#include "tools/runsim/run_truth.h"
#include "tools/runsim/zel_reader.h"
#include "tools/runsim/zel_writer.h"
