#pragma once
// The run both conversion benchmarks start from: 2 lanes of one surface, reads of 151, 8, 8
// and 151 cycles, the same samples listed for both lanes, a fixed seed, and no per-spot
// truth, manifest or legacy sheet kept. Each benchmark adds what its programs need.
#include "tools/runsim/run_generator.h"

#include <filesystem>

namespace bench {

inline runsim::RunRecipe standard_recipe(const std::filesystem::path& out, int tiles, int spots, int samples)
{
    runsim::RunRecipe recipe;
    recipe.out = out;
    recipe.seed = 20240611;
    recipe.lanes = 2;
    recipe.surfaces = 1;
    recipe.tiles = tiles;
    recipe.spots = spots;
    recipe.layout = runsim::ReadLayout::standard(151, 8);
    recipe.spot_truth = false;
    recipe.manifest.clear();
    recipe.legacy_sample_sheet.clear();
    recipe.samples = samples;
    recipe.same_samples_in_lanes = true;
    return recipe;
}

} // namespace bench
