#pragma once
// The converter's run configuration: built by main, filled in three stages (the command
// line and folders, then the sheets' settings and the run folder, then the settings
// computed from them) and afterwards only read, by reference, from every thread.
#include "common/output_folder_lock.h"
#include "common/sample.h"
#include "converter/app/cycle_range.h"
#include "converter/app/log_level.h"
#include "converter/app/tile_folder.h"

#include <array>
#include <filesystem>
#include <string>
#include <vector>

class PartitionedCsv;
class QuillonSettings;
class QuillonSheet;
class SampleSheet;

class Config {
public:
    Config();
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;

    // Command line, input folder, run metadata, output folders, specification files.
    bool initialize(int argc, char** argv);
    bool parse_args(int argc, char** argv);
    // Sets one option of the command line from its values; false, with the reason on standard
    // error, for an unknown option, a missing value or a value out of range.
    bool set_option(const std::string& name, const std::vector<std::string>& values);
    void print_usage(const std::string& program) const;
    bool validate_folders();
    bool validate_specification_files();
    bool read_metadata();

    // The sheets' settings (the sample sheet's override the design sheet's), the lane and
    // tile folders with their files, and the computed settings.
    bool setup(SampleSheet& sample_sheet, QuillonSheet& design_sheet);
    bool load_settings(PartitionedCsv& sheet, QuillonSettings& settings);
    bool validate_data_files();
    bool initialize_computed_settings(SampleSheet& sample_sheet);

    // The run folder by lane, tile and read, each counted from 1. A lane the run does not
    // have has no samples; tiles_of_lane and tile_folder throw std::out_of_range for a lane
    // or tile it does not have.
    const std::vector<Sample>& samples_of_lane(int lane) const;
    const std::vector<TileFolder>& tiles_of_lane(int lane) const;
    const TileFolder& tile_folder(int lane, int tile) const;
    // Whether the cycle counts cover the read: read_cycles and read_length need one they cover.
    bool has_read(int read) const
    {
        return read >= 1 && static_cast<std::size_t>(read) <= cycles.size() &&
               static_cast<std::size_t>(read) <= extra_cycles.size();
    }
    // The cycles of each of the read's records.
    int read_cycles(int read) const { return cycles[static_cast<std::size_t>(read - 1)]; }
    // The read's usable length: its cycles less the unused ones at the end of each record.
    int read_length(int read) const { return read_cycles(read) - extra_cycles[static_cast<std::size_t>(read - 1)]; }

    // Command line.
    std::filesystem::path input_folder;
    std::filesystem::path output_folder;
    std::filesystem::path controls_file;
    std::filesystem::path sample_sheet_file;
    std::filesystem::path design_sheet_file;
    bool trim_adapters = false;
    bool log_utc_time = false;
    int threads = 0; // 0: the task scheduler's automatic count

    // Sheets' settings.
    std::vector<TileFolder> IncludeTiles;
    std::vector<TileFolder> ExcludeTiles;
    bool OutputControlFASTQ = true;
    bool OutputIndexFASTQ = false;
    bool MergeLanes = false;
    int I1Mismatches = 1;
    int I2Mismatches = 1;
    std::string R1CycleUsage;
    std::string R2CycleUsage;
    std::string I1CycleUsage;
    std::string I2CycleUsage;
    std::string U1CycleUsage;
    std::string U2CycleUsage;

    // Command line, continued, and fixed aligner constants.
    bool compress = true;
    bool oscores = false;
    bool mutate_enabled = false;
    double adapter_max_error_rate = 0.1;
    double control_coverage_threshold = 0.6;
    int adapter_min_overlap = 3;
    int k = 12;
    int maxgap = 75;
    int minchain = 3;
    int repeat = 1;
    int minimizer_window = 4;
    int log_level = INFO;

    // Computed settings.
    bool roles_configured = false;
    std::array<CycleRange, 4> read_ranges{};
    CycleRange I1_range;
    CycleRange I2_range;
    CycleRange R1_range;
    CycleRange R2_range;
    CycleRange U1_range;
    CycleRange U2_range;
    std::string bases = "AGCTN";

    // Run identity (command line or run metadata).
    std::string flowcell_id;
    std::string instrument_id;
    std::string run_id;

    // Run folder.
    std::vector<std::vector<TileFolder>> lane_tiles; // list lane - 1: the lane's tiles in order
    std::vector<std::vector<Sample>> lane_samples;   // list lane - 1: sorted by Biosample
    int num_lanes = 0;
    int num_reads = 0;
    std::vector<int> cycles;       // per read: cycles of each spot record
    std::vector<int> extra_cycles; // per read: unused cycles at the end of each record

    // Output folders.
    std::filesystem::path fastq_folder;
    std::filesystem::path analysis_folder;
    std::filesystem::path analysis_metrics_folder;
    std::filesystem::path metrics_folder;

    // Held from the output folder's check to the end of the run: one run per output folder.
    OutputFolderLock output_lock;
};
