#pragma once
// Makes the call bytes, positions and truth of one tile.
//
// Every call starts random (random base, high quality). Then, spot by spot:
// - the position: a jittered grid, unique within the tile, x and y in 0..32000; a few spots
//   (RunRecipe::odd_position_fraction) get x or y moved beyond 32767 or below 0;
// - the kind: a control spot (every non-index read cut from one control, forward or reverse
//   complemented, with a few substitutions), an undetermined spot (random indexes clear of
//   every sample of the lane) or a sample spot (the sample's indexes, exact or with one or two
//   substitutions); a few control spots (RunRecipe::chimera_fraction) are chimeric: each
//   non-index read joins two halves cut far apart from the same strand of its control;
// - for sample and undetermined spots, sometimes an adapter planted at one start position in
//   every non-index read long enough to hold 3 of its bases (reads shorter than that get none);
// - no-calls (quality 0) scattered over the non-index reads outside planted adapters, and
//   trailing runs of them in reads without an adapter;
// - every non-index read without a planted adapter is changed at its last called base until
//   the adapter search would find nothing in it (a change in a control read counts as one more
//   substitution).
// Index reads and extra cycles keep no-calls out. A tile has its own random streams, so tiles
// can be made in any order and in parallel.
#include "tools/runsim/adapter_screen.h"
#include "tools/runsim/control_library.h"
#include "tools/runsim/index_picker.h"
#include "tools/runsim/run_recipe.h"
#include "tools/runsim/run_truth.h"

#include <cstdint>
#include <vector>

namespace runsim {

struct TileData {
    TileTruth truth;                               // without file names
    std::vector<std::vector<unsigned char>> calls; // per read: spots x header cycles
    std::vector<std::int32_t> xy;                  // x and y of every spot, interleaved
};

class TileGenerator {
public:
    // samples: all samples of the run (RunTruth::samples); library: controls and adapters.
    TileGenerator(const RunRecipe& recipe, const std::vector<SampleTruth>& samples, const ControlLibrary& library);

    TileData generate(int lane, int surface, int tile) const;

private:
    struct ReadPlan {
        int used = 0;              // used cycles
        int record = 0;            // header cycles
        bool index = false;        // an I1 or I2 read
        int planted = -1;          // adapter planted in this read
        std::vector<int> searched; // adapters the converter searches in this read
    };

    struct LaneSamples {
        std::vector<int> ids;         // RunTruth::samples positions
        std::vector<IndexPair> pairs; // their indexes
    };

    const RunRecipe& recipe_;
    const ControlLibrary& library_;
    std::vector<ReadPlan> reads_;
    RoleRange i1_, i2_, u1_, u2_;
    std::vector<LaneSamples> lanes_;
    std::vector<std::string> control_forward_;
    std::vector<std::string> control_reverse_;
    AdapterScreen screen_;
    IndexPicker picker_;
};

} // namespace runsim
