#pragma once
// What a synthetic run looks like: every option of the generator with its default.
//
//   runsim::RunRecipe recipe = runsim::RunRecipe::small();   // or demo(), bench(), or RunRecipe{}
//   recipe.out = folder;
//   recipe.seed = 7;
//   runsim::RunTruth run = runsim::generate_run(recipe); // tools/runsim/run_generator.h
//
// The same recipe always gives byte-identical files. Paths of the sheets, the controls file and
// the manifest are taken inside the run folder when relative; an empty path writes no such file.
#include "tools/runsim/positions_file.h"
#include "tools/runsim/read_layout.h"
#include "tools/runsim/run_identity.h"
#include "tools/runsim/zel_writer.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace runsim {

struct RunRecipe {
    // The run folder; made when missing, files in it are overwritten.
    std::filesystem::path out;
    std::uint64_t seed = 1;

    // Folders: lanes L01 (and L02), each with surfaces x tiles tile folders S01_T001 ...
    int lanes = 2;    // 1 or 2
    int surfaces = 1; // 1 to 99
    int tiles = 2;    // per surface, 1 to 999
    int spots = 1000; // per tile
    ReadLayout layout = ReadLayout::standard();
    bool base_calls_folder = false; // lane folders inside "Base_Calls"
    bool zel_subfolder = false;     // each tile's files inside a "zel" folder of the tile folder
    // Each read's files in a folder of its own: Read<n>/called_bases.zel and
    // Read<n>/called_bases_positions instead of R<n>.zel and R<n>_positions.
    bool read_folders = false;

    // Base-call and positions files.
    ZelWriteOptions zel;       // storage, stream bytes per member, compression level
    std::uint64_t version = 0; // 0: 4 for gzip storages, 2 for plain ones
    PositionsType positions_type = PositionsType::Int32;

    // Identifiers (empty: drawn from the seed) and the metadata file's name.
    std::string flowcell_id;
    std::string instrument_id;
    std::string run_id;
    MetadataName metadata = MetadataName::Metadata;

    // Samples of the sample sheet: per lane, indexes as long as the I1 (and I2) role.
    int samples = 8;
    bool same_samples_in_lanes = false; // both lanes list the same samples (else distinct ones)
    int i1_mismatches = 1;              // written to both sheets; the indexes are chosen far
    int i2_mismatches = 1;              // enough apart for these settings

    // Mix of spots, each drawn independently per spot (or per read or per call as noted).
    double control_fraction = 0.05;          // reads cut from a control, random indexes
    double undetermined_fraction = 0.05;     // random indexes that match no sample
    double one_mismatch_fraction = 0.10;     // of sample spots: one substitution per index read
    double two_mismatch_fraction = 0.05;     // of sample spots: two in one index read
    double adapter_fraction = 0.10;          // of sample and undetermined spots
    double no_call_rate = 0.002;             // per call of the non-index reads
    double trailing_no_call_fraction = 0.02; // of non-index reads without an adapter
    double odd_position_fraction = 0.0;      // spots with x or y beyond 32767 or negative
    int max_control_substitutions = 3;       // per read cut from a control
    // Of control spots: chimeric non-index reads, whose second half comes from the same control
    // (same strand) far away from the first; controls must be at least
    // chimera_control_length() bases long.
    double chimera_fraction = 0.0;

    // Controls file.
    int controls = 4;         // of the kept classes Undefined and LQC
    int dropped_controls = 3; // of the classes SQC, EPC and ENC
    int control_length = 400; // raised to the longest non-index read when shorter
    int adapter_length = 32;  // 24 to 254: shorter ones would turn up in random reads

    // Files beside the lanes.
    std::filesystem::path design_sheet = "quillon_params.csv";
    std::filesystem::path sample_sheet = "SampleSheetUsed.csv";
    std::filesystem::path legacy_sample_sheet; // not written unless named
    std::filesystem::path controls_file = "controls.fasta";
    std::filesystem::path manifest = "runsim_manifest.json";

    // Truth kept per spot (in memory and in the manifest); off for big runs.
    bool spot_truth = true;
    // Keep every tile's call bytes in the returned truth (small runs only).
    bool keep_calls = false;

    // Two lanes of two tiles, 2000 spots of 151 + 8 + 8 + 151 cycles, with odd positions.
    static RunRecipe demo();
    // About 1 GB of calls: two lanes of four tiles, 400000 spots of 318 cycles; no spot truth.
    static RunRecipe bench();
    // For tests: two lanes of two tiles, 200 spots of 30 + 8 + 8 + 30 cycles, members of
    // 4 KiB so that every base-call file has several, call bytes kept.
    static RunRecipe small();

    // Throws std::invalid_argument naming the first bad option.
    void validate() const;

    // Shortest control that holds both halves of a chimeric read of every non-index read
    // length, chimera_gap() apart.
    int chimera_control_length() const;
    // Least distance between the control positions of a chimeric read's two halves, for reads
    // of the given length: far enough that, whichever minimizers start the two chains, their
    // reference positions lie more than read length + 200 apart.
    static int chimera_gap(int read_length);

    // The version written into the base-call headers.
    std::uint64_t zel_version() const;
    // Call bytes of the whole run (spots x header cycles over all files).
    std::uint64_t call_bytes() const;
};

} // namespace runsim
