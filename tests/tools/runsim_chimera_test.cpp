// The run generator's chimeric control reads: both halves come from the recorded places of one
// strand of the control, far enough apart, and controls too short for that are refused.
#include "tools/runsim/run_generator.h"

#include "tests/tools/runsim_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using namespace runsim_test;

TEST(RunSimChimeras, HalvesComeFromTheRecordedPlacesFarApart)
{
    TempDir folder;
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder.path() / "run";
    recipe.lanes = 1;
    recipe.tiles = 1;
    recipe.layout = runsim::ReadLayout::standard(41, 8);     // halves of 20 and 21 bases
    recipe.control_length = recipe.chimera_control_length(); // the shortest allowed
    recipe.control_fraction = 0.6;
    recipe.chimera_fraction = 0.5;
    const runsim::RunTruth run = runsim::generate_run(recipe);

    const runsim::TileTruth& tile = run.tile(1, 1);
    int chimeric = 0;
    int plain = 0;
    for (std::size_t s = 0; s < tile.spots; ++s) {
        const runsim::SpotTruth& spot = tile.spot_truth[s];
        const bool spot_chimeric = spot.reads[0].chimera_offset >= 0;
        for (const std::size_t r : {std::size_t(0), std::size_t(3)}) {
            const runsim::ReadTruth& read = spot.reads[r];
            // Every non-index read of a spot is chimeric or none is; only control spots are.
            ASSERT_EQ(read.chimera_offset >= 0, spot_chimeric) << s;
            if (!spot_chimeric) {
                plain += spot.control >= 0;
                continue;
            }
            ++chimeric;
            ASSERT_GE(spot.control, 0);
            const std::string& control = run.library.controls[std::size_t(spot.control)].sequence;
            const std::string source = read.control_reverse ? reverse_complement(control) : control;
            EXPECT_GE(std::abs(read.chimera_offset - read.control_offset), runsim::RunRecipe::chimera_gap(41));
            ASSERT_LE(read.control_offset + 20, int(source.size()));
            ASSERT_LE(read.chimera_offset + 21, int(source.size()));
            const std::string want = source.substr(std::size_t(read.control_offset), 20) +
                                     source.substr(std::size_t(read.chimera_offset), 21);
            const std::string bases = letters(tile.calls[r].data() + 41 * s, 0, 41);
            int substitutions = 0;
            for (std::size_t k = 0; k < 41; ++k)
                substitutions += bases[k] != 'N' && bases[k] != want[k];
            EXPECT_EQ(substitutions, read.control_substitutions) << bases << "\n" << want;
        }
    }
    EXPECT_GE(chimeric, 80);
    EXPECT_GE(plain, 80);

    const std::string json = file_text(run.manifest);
    int listed = 0;
    for (std::size_t at = 0; (at = json.find("\"chimera_offset\":", at)) != std::string::npos; ++at)
        ++listed;
    EXPECT_EQ(listed, chimeric);
}

TEST(RunSimChimeras, ControlsTooShortForChimerasAreRefused)
{
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = "/nonexistent/never-written";
    recipe.chimera_fraction = 0.1;
    recipe.control_length = recipe.chimera_control_length();
    EXPECT_NO_THROW(recipe.validate());
    recipe.control_length -= 1;
    try {
        recipe.validate();
        ADD_FAILURE() << "controls one base too short were accepted";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("chimera fraction"), std::string::npos) << error.what();
    }
    recipe.chimera_fraction = 0.0; // short controls are fine without chimeras
    EXPECT_NO_THROW(recipe.validate());
    recipe.chimera_fraction = 1.5;
    recipe.control_length = 10000;
    EXPECT_THROW(recipe.validate(), std::invalid_argument);
}

} // namespace
