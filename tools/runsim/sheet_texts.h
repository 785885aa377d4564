#pragma once
// The texts of the sheets of a synthetic run.
//
// Design sheet: "Header" (FileFormatVersion 1) and "Quillon Settings" with the output switches
// at their defaults, the mismatch settings and the cycle masks of the layout; a role the layout
// lacks keeps its required key with no value. Sample sheet: "Run Information", "Flow Cell
// Settings", "Quillon Settings" (mismatches and the same masks, so the sheet works without a
// design sheet) and "Samples" (an empty Index2 is written as "" so that the row keeps its last
// column). Legacy sample sheet: the older format of sections "[Header]", "[Index Reads]",
// "[Paired Reads]", "[Adapters]", "[UMI Reads]" and "[Data]". No line ends in a separator.
#include "tools/runsim/control_library.h"
#include "tools/runsim/run_identity.h"
#include "tools/runsim/run_recipe.h"
#include "tools/runsim/run_truth.h"

#include <string>
#include <vector>

namespace runsim {

std::string design_sheet_text(const RunRecipe& recipe);

std::string sample_sheet_text(const RunRecipe& recipe, const RunIdentity& identity,
                              const std::vector<SampleTruth>& samples);

std::string legacy_sample_sheet_text(const RunRecipe& recipe, const RunIdentity& identity,
                                     const std::vector<SampleTruth>& samples, const ControlLibrary& library);

} // namespace runsim
