#pragma once
// What the generator planted, per run, tile, spot and read: returned in memory by
// generate_run and written to the manifest.
//
// Sample assignment: a spot's sample is the one whose indexes it was made from. A spot matches
// that sample, and no other, when each index read's substitutions are within its mismatch
// setting (Exact always, OneMismatch from setting 1, TwoMismatches where the substituted index
// has setting 2), and no sample otherwise. This holds for the mismatch settings written to the
// sheets (RunRecipe::i1_mismatches, i2_mismatches), and for every setting from 0 to 2 when
// RunTruth::any_mismatch_settings is true (the indexes could be chosen far enough apart for
// that; with short index reads and many samples they may not). A spot of origin Random lies
// more than 2 edits from every sample of its lane in at least one index, so it is undetermined
// under any setting. Control spots have random indexes.
#include "tools/runsim/control_library.h"
#include "tools/runsim/run_identity.h"
#include "tools/runsim/run_recipe.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace runsim {

enum class IndexOrigin {
    Exact,         // the sample's indexes
    OneMismatch,   // at most one substitution in each index read, at least one in all
    TwoMismatches, // two substitutions in one index read, the other exact
    Random,        // random indexes clear of every sample of the lane
};

// "exact", "one-mismatch", "two-mismatches", "random".
std::string_view index_origin_name(IndexOrigin origin);

struct SampleTruth {
    int lane = 0;
    int lane_position = 0; // 0-based among the lane's samples, in sheet order (which is also
                           // the order of the names)
    std::string name;      // Biosample
    std::string index;
    std::string index2; // empty for single-index runs
};

struct ReadTruth {
    int adapter = -1;        // RunTruth::library.adapters position of the planted adapter
    int adapter_start = -1;  // 0-based cycle where the adapter begins, -1 without adapter
    int control_offset = -1; // first base taken from the control (from its reverse complement
                             // when control_reverse), -1 when the read is not cut from one
    int chimera_offset = -1; // of a chimeric read (RunRecipe::chimera_fraction): the first
                             // base of the read's second half (its cycles from length / 2
                             // on), from the same strand as control_offset, which then gives
                             // the first half only; -1 for other reads
    bool control_reverse = false;
    int control_substitutions = 0; // against the control, both halves of a chimeric read
    int no_calls = 0;              // quality-0 calls among the read's used cycles
    int trailing_no_calls = 0;     // the run of them that ends the read
};

struct SpotTruth {
    std::int32_t x = 0;
    std::int32_t y = 0;
    int sample = -1; // RunTruth::samples position, -1 for none
    IndexOrigin index_origin = IndexOrigin::Random;
    int i1_substitutions = 0;
    int i2_substitutions = 0;
    int control = -1;   // RunTruth::library.controls position (file order), -1 for none
    std::string index1; // bases of the I1 cycles as written
    std::string index2; // bases of the I2 cycles as written (empty without I2)
    std::string umi1;   // bases of the U1 cycles, N for no-calls (empty without U1)
    std::string umi2;
    std::array<ReadTruth, 4> reads; // one per read of the layout
};

struct TileCounts {
    std::uint64_t spots = 0;
    std::uint64_t exact = 0;
    std::uint64_t one_mismatch = 0;
    std::uint64_t two_mismatches = 0;
    std::uint64_t undetermined = 0;  // random indexes, control spots excluded
    std::uint64_t control_spots = 0; // all controls, kept or dropped
    std::uint64_t kept_control_spots = 0;
    std::uint64_t adapter_reads = 0;
    std::uint64_t no_calls = 0;
    std::uint64_t trailing_no_call_reads = 0;
    std::uint64_t odd_positions = 0;
    std::vector<std::uint64_t> per_sample; // spots made from each sample (RunTruth::samples)

    void add(const TileCounts& other);
};

struct TileTruth {
    int lane = 0;
    int surface = 0;
    int tile = 0;                                       // number in the folder name
    std::string name;                                   // "S01_T001"
    std::filesystem::path folder;                       // the tile folder
    std::vector<std::filesystem::path> zel_files;       // per read
    std::vector<std::filesystem::path> positions_files; // per read
    std::uint64_t spots = 0;
    std::vector<SpotTruth> spot_truth;             // with RunRecipe::spot_truth
    std::vector<std::vector<unsigned char>> calls; // per read, with RunRecipe::keep_calls
    TileCounts counts;
};

struct RunTruth {
    RunRecipe recipe; // as given, with the layout's derived values filled in
    RunIdentity identity;
    std::filesystem::path run_folder;
    std::filesystem::path lanes_folder;  // the run folder or its "Base_Calls"
    std::filesystem::path metadata_file; // empty when none was written
    std::filesystem::path design_sheet;  // each empty when not written
    std::filesystem::path sample_sheet;
    std::filesystem::path legacy_sample_sheet;
    std::filesystem::path controls_file;
    std::filesystem::path manifest;
    std::vector<SampleTruth> samples;   // lane 1's, then lane 2's
    bool any_mismatch_settings = false; // the sample truth holds for every mismatch setting
    ControlLibrary library;
    std::vector<std::vector<TileTruth>> lanes; // [lane - 1][position in the lane]
    TileCounts totals;

    std::uint64_t files = 0;        // files written
    std::uint64_t bytes = 0;        // their size on disk
    std::uint64_t zel_files = 0;    // base-call files among them
    std::uint64_t zel_bytes = 0;    // their size on disk
    std::uint64_t call_bytes = 0;   // call bytes inflated (spots x header cycles)
    std::uint64_t stream_bytes = 0; // whole inflated streams (headers and texts included)
    double seconds = 0;             // time taken

    // The tile at 1-based position of the 1-based lane.
    const TileTruth& tile(int lane, int position) const;
    // The samples of a lane in sheet order.
    std::vector<const SampleTruth*> lane_samples(int lane) const;
};

} // namespace runsim
