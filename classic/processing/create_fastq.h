#pragma once
// CreateFastq: the classic program's one algorithm, registered as "create_fastq". Its run
// converts one run folder: parameters and log file, run metadata, the design and sample
// sheets (either sample sheet format), lanes and tiles, controls, reads, then every lane on its
// own thread with batches of tile threads, the metrics files and, when asked, the merge of the
// two lanes' FASTQ files.
//
// Where the members are defined:
//   classic/framework/create_fastq_parameters.cpp  validate_parameters, help
//   classic/framework/create_fastq_sheets.cpp      design sheet and sectioned sample sheet
//   classic/framework/create_fastq_legacy_sheet.cpp legacy sample sheet and its validation
//   classic/processing/create_fastq.cpp            run, lanes and tiles found, reads found
//   classic/processing/create_fastq_*.cpp          the conversion itself
#include "classic/framework/algorithm.h"
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"
#include "classic/framework/matrix.h"
#include "classic/framework/sample_sheet_local.h"
#include "classic/processing/control_record.h"
#include "classic/processing/counts.h"
#include "classic/processing/demux.h"
#include "classic/processing/index_table.h"
#include "classic/processing/kmer_table.h"
#include "classic/processing/position_mask.h"
#include "classic/processing/tile_data.h"
#include "common/cycle_mask.h"
#include "common/gz_file.h"
#include "common/quillon_sheet.h"
#include "common/sample_sheet.h"

#include <cstdint>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

class CreateFastq : public Algorithm {
public:
    // Lane name ("L01", "L02") -> its tiles as (tile number, tile folder).
    using LaneTable = std::map<std::string, std::vector<std::pair<std::uint64_t, std::string>>>;

    // Samples are numbered by their row in the sheet, over both lanes, as shorts.
    static constexpr std::size_t Max_samples = 32768;

    CreateFastq(std::string name, AlgorithmFramework::Log& run_log, AlgorithmFramework::Blackboard& run_blackboard);
    ~CreateFastq() override = default;

    bool run() override;
    void help() override;
    bool validate_parameters() override;
    void validate_run() override {}

    // The steps of run: the run metadata's ids, logged (false when none is found); the output
    // folders and where the lane folders are; then sheets, lanes and tiles, controls and reads,
    // every lane and the metrics.
    bool read_run_metadata();
    // Ends the run when an id would break a read name or lead a file name out of its folder:
    // white space, a control character, '/', "." or "..".
    void check_run_id(const std::string& name, const std::string& id, const std::string& source);
    void prepare_folders();
    void convert_run();

    // Run folder: lanes, tiles and reads.
    void load_run(const std::string& folder, LaneTable& lanes);
    bool is_tile_included(const std::string& path);
    bool is_tile_excluded(const std::string& path);
    void initialize_read_type_counts(LaneTable& lanes);
    std::uint64_t get_read_length(const std::string& path);
    // The cycles and extra cycles of a base-call file's header, compressed (versions 3 and 4;
    // cycles 0 when the file is not one) or plain (versions 1 and 2).
    void read_compressed_cycles(const std::string& path, std::uint64_t& cycles, std::uint64_t& extra);
    void read_plain_cycles(const std::string& path, std::uint64_t& cycles, std::uint64_t& extra);
    void initialize_lane();

    // Design sheet and sample sheets.
    // Loads both sheets, lets the sample sheet's settings replace the design sheet's, and logs
    // the effective settings.
    void load_quillon_sheet();
    void load_design_sheet(const std::string& path, std::vector<std::string>& errors,
                           std::vector<std::string>& warnings);
    // The sheet version, and the legacy sheet's fixed settings or the sectioned sheet's own.
    void load_sample_sheet_settings(const std::string& path, std::vector<std::string>& errors,
                                    std::vector<std::string>& warnings);
    void report_sheet_messages(const std::string& path, const std::vector<std::string>& errors,
                               const std::vector<std::string>& warnings);
    void load_sample_sheet_new();
    void setup_read(const std::string& name, const std::string& mask, std::vector<std::string>& errors);
    void setup_index(const std::string& name, const std::string& mask, std::vector<std::string>& errors);
    void setup_umi(const std::string& name, const std::string& mask, std::vector<std::string>& errors);
    void adjust_cycle_mask(CycleMask& mask);
    void load_sample_sheet_old();
    // Whether any line of the text opens a section of the legacy sample sheet.
    static bool holds_legacy_section(const std::string& text);
    void load_sample_sheet_index_reads(const std::string& line, int row, std::vector<std::string>& fields,
                                       std::vector<std::string>& errors);
    void load_sample_sheet_paired_reads(const std::string& line, int row, std::vector<std::string>& fields,
                                        std::vector<std::string>& errors);
    void load_sample_sheet_adapters(const std::string& line, int row, std::vector<std::string>& fields,
                                    std::vector<std::string>& errors);
    void load_sample_sheet_umi(const std::string& line, int row, std::vector<std::string>& fields,
                               std::vector<std::string>& errors);
    void load_sample_sheet_data(const std::string& line, int row, std::vector<std::string>& fields,
                                std::vector<std::string>& errors);
    // Checks the sheet's reads and sample rows, logs every message and ends the run when there
    // is any.
    void validate_sample_sheet(std::vector<std::string>& errors);
    // The index, paired and UMI reads: inside the run's reads and cycles, each index named once,
    // no two ranges overlapping.
    void validate_sheet_reads(std::vector<std::string>& errors);
    // The sample rows: lane, unique sample ids and indexes, no index within the allowed mismatches
    // of another of its lane, sample ids fit for file names.
    void validate_sheet_rows(std::vector<std::string>& errors);
    template <typename A, typename B>
    void check_for_overlap(const std::string& section, const std::vector<A>& a, const std::vector<B>& b,
                           std::vector<std::string>& errors);

    // Tiles: base-call and positions files. False when the tile is skipped for an error.
    bool process_reads(const std::string& folder, TileData& tile, std::uint64_t lane, const std::string& tag);
    bool load_positions(const std::string& path, matrix<int>& positions);
    void remove_duplicate_positions(TileData& tile, PositionMask& mask);

    // Lanes: tile threads and FASTQ files.
    void run_lanes(LaneTable& lanes); // every lane, one after another or one thread each
    void thread_work(const std::string& lane_name, std::vector<std::pair<std::uint64_t, std::string>> tiles);
    // Names and opens the lane's files (0 for L01): per read its control and track file, then
    // every sample output.
    void open_lane_outputs(std::uint64_t lane, std::vector<GzFile>& control_files, std::vector<GzFile>& tracks);
    // Closes the lane's files, each checked and then given its own name, or, when the lane lost
    // tiles, left under its temporary name.
    void close_lane_outputs(std::uint64_t lane, std::vector<GzFile>& control_files, std::vector<GzFile>& tracks);
    // One tile in one slot; false when the tile is skipped for an error.
    bool output_fastq(std::uint64_t lane, std::uint64_t slot, std::uint64_t tile_number, const std::string& folder);
    void write(std::uint64_t lane, std::uint64_t slot, std::vector<GzFile>& control_files, std::vector<GzFile>& tracks);
    void flush(std::uint64_t lane, std::vector<GzFile>& control_files, std::vector<GzFile>& tracks);
    // Opens a FASTQ output for writing at the output level with a gz buffer of buffer_bytes,
    // under its temporary name; a file that cannot be opened ends the run.
    GzFile open_fastq_output(const std::string& name, unsigned buffer_bytes);
    // Gives a closed FASTQ output its own name; a failure ends the run.
    void publish_fastq_output(const std::string& name);
    // Whether the FASTQ files of a read are written (index reads only when asked for).
    bool is_read_written(std::uint64_t read_index);
    // The FASTQ files that a lane (0 for L01) holds open.
    std::uint64_t fastq_files_of_lane(std::uint64_t lane);
    // Ends the run when the lanes would need more open files at once than the process may
    // have, after raising its limit as far as allowed.
    void check_open_files(const LaneTable& lanes);
    std::string get_tag(const std::string& folder, std::uint64_t lane, std::uint64_t tile_number);
    std::string get_track_name(std::uint64_t read_index);
    void append_read_name(std::string& text, const std::string& tag, const std::string& x, const std::string& y,
                          std::uint64_t read_number, bool chimera, const std::string& umi);
    void append_read_data(std::uint64_t read_number, std::string& text, ZelData& data);

    // Demultiplexing.
    void log_sample_sheet(const std::string& path);
    // The row's one-letter variants in the table, as the mismatch settings ask: with both at 1
    // every key with at most one changed letter in each index, with one at 1 those of that index.
    void load_demux_variants(const IndexData& row, short sample);
    void load_demux_hashes_vary_index1(int lane, std::string index1, const std::string& index2, short sample);
    void load_demux_hashes_vary_index2(int lane, const std::string& index1, std::string index2, short sample);
    // Every spot of the tile: its texts and control flag, its UMI and its sample.
    bool demux(std::uint64_t lane, TileData& tile, const std::string& tag);
    struct TileDemux; // what demultiplexing one tile keeps from spot to spot
    // Rebuilds the spot's texts of every read; true when any of them yields a control key, which
    // makes the spot a control.
    bool load_spot_texts(std::vector<ZelData>& reads, std::uint64_t spot);
    // The spot's UMI: the cycles of every UMI read of the sheet, 'N' past a read's text, joined by
    // '+' ('-' with --umitag); with --umiqscores followed by ":" and their quality characters.
    std::string spot_umi(const std::vector<ZelData>& reads);
    // The spot's observed key: index 1's letters, then index 2's, 'N' where a letter is missing
    // or of low quality.
    void observe_key(TileDemux& pass);
    // The spot's sample in table mode: the table's sample of its observed key, or -1 (counted
    // as undetermined).
    short table_sample(TileDemux& pass);
    // The spot's sample in scan mode: the one sample of the lane whose indexes are within their
    // limits of the spot's, or -1 when none or several are (counted as undetermined when the
    // table does not hold its observed key).
    short scan_sample(TileDemux& pass);
    void find_index(const IndexRead& index_read, std::vector<ZelData>& reads, int& read, int& start, int& length,
                    std::uint64_t& prefix);
    void load_index(std::vector<ZelData>& reads, int read, int start, int length, std::uint64_t& position,
                    std::string& key);
    // masked: each read's text with its low-quality letters as 'N' (only the index reads' are
    // looked at).
    void check_for_match(const std::vector<std::string>& masked, const std::string& expected, int read, int start,
                         int length, int limit, std::vector<std::uint64_t>& scratch, bool& match);
    bool compare_barcode(const std::string& observed, int start, int length, const std::string& expected, int limit,
                         std::vector<std::uint64_t>& scratch);

    // Controls.
    void load_controls();
    void load_control(std::string& name, std::string& sequence);
    void hash_sequences(const std::vector<ControlRecord>& records, std::uint64_t k, KmerTable& table);
    std::string get_control_key(const std::string& sequence, std::uint64_t& offset);
    bool is_adapter(std::string& key);
    bool is_chimera(const std::string& sequence, const std::string& key, std::uint64_t offset, std::uint64_t errors);
    bool is_right_adapter(const std::string& sequence, const std::string& key, std::uint64_t offset,
                          std::uint64_t errors, std::vector<std::uint64_t>& scratch);
    bool is_indel(const std::string& sequence, const std::string& key, std::uint64_t offset, std::uint64_t errors,
                  std::vector<std::uint64_t>& scratch);
    std::uint64_t calculate_error(const std::string& read, std::uint64_t read_start, std::uint64_t read_limit,
                                  const std::string& control, std::uint64_t control_start, std::uint64_t control_limit);
    void calculate_error(std::uint64_t cycles, TileData& tile, std::uint64_t read_index);

    // Counts.
    void process_tile_reads(std::uint64_t lane, TileData& tile, std::string& tag, PositionMask& cells);
    // Every spot of one read: the position filter, control classification, counting and record
    // building.
    void process_tile_read(std::uint64_t lane, std::uint64_t spots, std::uint64_t cycles, std::uint64_t read_number,
                           TileData& tile, std::string& tag, PositionMask& cells);
    // A spot's control class ("Undefined" unless the spot has the control flag and its key names
    // a control) and, with --oscores, what the analysis of its control found.
    struct ControlCall {
        std::string class_name = "Undefined";
        bool chimera = false;
        bool excluded = false; // a chimera, or running into an adapter or holding an indel
    };
    ControlCall classify_control(const std::string& sequence, bool flagged, Counts& counts,
                                 std::vector<std::uint64_t>& scratch);
    void update_counts(std::uint64_t lane, std::uint64_t slot);
    // Gives the texts a tile's records of one read go to the room they will need at most, so
    // that they never grow by doubling.
    void reserve_texts(std::uint64_t lane, std::uint64_t spots, std::uint64_t cycles, std::uint64_t read_number,
                       TileData& tile, const std::string& tag, bool track_written, bool controls_written);

    // Metrics files and lane merge.
    void output_metrics(LaneTable& lanes);
    void output_metric(bool is_control, const std::string& label, const std::string& metric_name,
                       std::pair<double, std::map<std::string, double>>& metric, int precision, std::ostream& out);
    void frequency_metrics();
    void merge_lane_fastqs();

    // Members, in the order the run fills them.
    bool has_data_folder = false;
    std::string data_folder;
    QuillonSheet design_sheet;
    SampleSheet sample_sheet;
    SampleSheetLocal sample_sheet_local;
    std::mutex counts_mutex;
    std::mutex undetermined_mutex;
    std::string command_line;
    std::string input;
    std::string output;
    std::string run_id;
    std::uint64_t threads_per_lane = 0;
    std::uint64_t barcode_allowed_mismatches = 0;
    std::uint64_t umi_qscores = 0;
    std::string umi_tag;
    std::string controls_file;
    bool run_folder_sample_sheet = false; // the sample sheet is the run folder's, not --samplesheet's
    std::uint64_t control_key_length = 0;
    std::uint64_t chimera_key_length = 0;
    std::vector<std::vector<Counts>> lane_counts;
    std::string instrument_id;
    std::string file_prefix;
    std::string flowcell_id;
    std::vector<std::string> adapters;
    std::map<std::string, bool> control_classes;
    std::map<std::string, bool> sample_names;
    bool oscores = false;
    bool thread_lanes = false;
    IndexTable<short> demux_table; // (lane index, index1 + index2 or a variant) -> sample
    std::uint64_t demux_key_length = 0;
    unsigned char qscore_cutoff = 0;
    std::vector<std::uint64_t> read_numbers;
    std::vector<ControlRecord> controls;
    KmerTable control_keys; // 30-mer and its variants -> (control index, start)
    KmerTable chimera_keys; // the same for 18-mers
    std::vector<std::vector<TileData>> lane_tiles;
    // Per lane: the tags of the tiles skipped for an error, and the FASTQ files left under their
    // temporary names for that.
    std::vector<std::vector<std::string>> lost_tiles;
    std::vector<std::set<std::string>> left_fastqs;
    // Whether the lane (0 for L01) lost tiles, so that its files, and those built from them, are
    // incomplete.
    bool lost_tiles_of(std::uint64_t lane) const { return lane < lost_tiles.size() && !lost_tiles[lane].empty(); }
    std::vector<std::map<std::pair<short, int>, Demux>> lane_demux;
    std::vector<std::uint64_t> read_cycles;
    IndexTable<std::uint64_t> undetermined; // (lane index, observed index text) -> spots
    std::string current_step;               // what the run is doing, for a message when memory runs out

private:
    // Shorthands for building a message and handing it to the log.
    void log_status(const std::string& text);
    void log_warning(const std::string& text);
    void log_error(const std::string& text);
    [[noreturn]] void log_exception(const std::string& text);
};
