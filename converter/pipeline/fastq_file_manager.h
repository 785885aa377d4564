#pragma once
// The FASTQ output stage of one lane. For every tile it sorts the spots into the lane's
// files (slot 0 undetermined, slots 1..n the lane's samples, slot n + 1 control), cuts each
// file's share into bundles of about 1 MiB of text per read and formats the bundles in
// parallel. It then hands the tile to its CompressionScheduler, which queues it for the
// writer thread and compresses its bundles in the background while the lane's main thread
// goes on with the next tile. The writer thread takes the tiles in order, each once it is
// compressed, and writes its files, the one with the most bundles first; after stop() it
// drains the queue. The manager keeps the pool of bundles and of their text buffers.
//
// Usage (lane driver):
//   FastqFileManager writer(config, timers, lane);
//   writer.run();                          // opens the files; may throw
//   writer.process_spots(spots, surface, tile);  // per tile; throws what formatting or an
//                                                // earlier tile's compression threw
//   writer.finish();                       // the last tiles' compression; may throw likewise
//   if (the lane failed) writer.fail_lane();
//   writer.stop(); writer.join();          // drains the queue, closes the files and, on
//                                          // their last lane, gives them their final names
//                                          // unless the lane failed
//   if (writer.has_write_error()) ... writer.write_error() ...
//   if (writer.files_left() > 0) ... a failed lane's files stay under temporary names ...
#include "converter/pipeline/compression_scheduler.h"
#include "converter/pipeline/fastq_file.h"
#include "converter/pipeline/fastq_spot_bundle.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Config;
class Spot;
class TimerManager;

class FastqFileManager {
public:
    // A bundle is closed once its estimated text exceeds this many bytes.
    static constexpr std::uint64_t Max_bundle_estimate = 0xFFFFF;
    // process_spots waits while more bundles than this are queued.
    static constexpr int Max_queued_bundles = 1024;

    FastqFileManager(const Config& config, TimerManager& timers, int lane);
    // Finishes the compression under way and stops and joins a writer thread that is still
    // running.
    ~FastqFileManager();
    FastqFileManager(const FastqFileManager&) = delete;
    FastqFileManager& operator=(const FastqFileManager&) = delete;

    // Opens the files and starts the writer thread. Throws what FastqFile::open throws.
    void run();
    void open_files();
    // Waits for the compression of every tile queued so far; throws the first error it met.
    void finish();
    // No further tiles: the writer writes what is queued and ends.
    void stop();
    // Waits for the compression still under way, then for the writer thread (which drains
    // the queue first), then closes the files.
    void join();
    // Closes the files; on the last lane that writes them (every lane unless lanes are
    // merged and a later lane has a file of the same name) they are completed and renamed to
    // their final names. When the lane failed, every file of it stays under its temporary
    // name.
    void close_files();
    // The lane failed: its files must not get their final names.
    void fail_lane() { lane_failed_ = true; }
    // The files that close_files left under their temporary names because the lane failed.
    int files_left() const { return files_left_; }

    // The files of a lane, in read and slot order (slot 0 undetermined, then the lane's
    // samples, then control), each as its path without ".gz".
    struct LaneFile {
        int read;
        std::size_t slot;
        std::filesystem::path path;
    };
    static std::vector<LaneFile> lane_files(const Config& config, int lane);

    // sample + 1 for a spot with a sample, else the control slot for a control, else 0.
    int get_file_index(bool is_control, int sample) const;
    // Whether read (1-based) gets files: every read when neither Read1 nor Read2 is
    // configured, else the Read1 and Read2 reads, and index reads too with OutputIndexFASTQ.
    bool is_writable(int read) const;
    static bool is_writable(const Config& config, int read);
    // The files a lane opens at once.
    static int count_files(const Config& config, int lane);

    // Formats and queues one tile's spots and starts their compression, finishes the
    // compression of the tile before, then waits while the queue is full.
    void process_spots(std::vector<Spot>& spots, int surface, int tile);
    // Cuts one slot's spots into bundles for one read and appends them to out.
    void create_bundles(std::vector<Spot*>& spots, int surface, int tile, int read,
                        std::vector<std::shared_ptr<FastqSpotBundle>>& out);

    std::shared_ptr<FastqSpotBundle> get_bundle();
    void return_bundle(std::shared_ptr<FastqSpotBundle> bundle);
    // The bundles in the pool, and all the manager has made.
    std::size_t free_bundle_count();
    std::size_t bundle_count();

    // Bundles queued and not yet taken by the writer.
    int total_bundles();
    std::uint64_t total_bytes_written();
    // The writer thread's body.
    void write_bundles();

    // The first write or close failure of the lane's files.
    bool has_write_error() const;
    // "ERROR: Unable to write '" + name + "' : " + system error text, or empty.
    std::string write_error() const;
    // Keeps the first report of a failure with a file.
    void report_write_error(const std::string& name, const std::string& system_text);

    const Config* config;
    TimerManager* timers;
    int lane;
    std::vector<std::vector<FastqFileReference>> files; // [read - 1][slot]

private:
    using TileOutput = CompressionScheduler::Tile;

    // Writes one compressed tile, file by file.
    void write_tile(const TileOutput& output);
    // Reports a file's failure, once per file.
    void report_file(const FastqFile& file);
    // A text buffer of an earlier bundle for the bundle, when one is idle.
    void lend_text(FastqSpotBundle& bundle);
    // Takes the text buffer of a compressed bundle back.
    void take_text(FastqSpotBundle& bundle);
    // Sorts a tile's spots into the groups of their slots; throws for a sample position
    // beyond the lane's samples.
    void group_spots(std::vector<Spot>& spots);
    // Cuts the groups of the first used_slots slots into new bundles for every written read.
    void create_tile_bundles(std::size_t used_slots, int surface, int tile);
    // Formats the tile's new bundles; on a failure they go back to the pool and it is thrown on.
    void format_tile_bundles();

    std::vector<std::thread> threads;
    std::vector<std::shared_ptr<FastqSpotBundle>> free_bundles;
    std::vector<std::shared_ptr<FastqSpotBundle>> all_bundles;
    std::mutex mutex; // free_bundles, all_bundles and the idle text buffers

    int num_samples_ = 0;
    bool lane_failed_ = false;
    int files_left_ = 0;
    // Per tile, reused: each slot's spots, and each read's and slot's new bundles.
    std::vector<std::vector<Spot*>> groups_;
    std::vector<std::vector<std::vector<std::shared_ptr<FastqSpotBundle>>>> new_bundles_;
    std::vector<std::shared_ptr<FastqSpotBundle>> batch_bundles_;
    // The text buffers of compressed bundles, for the bundles of the next tiles.
    std::vector<std::vector<char>> idle_texts_;
    // The tiles from formatting to the writer; its tasks use the buffers above.
    CompressionScheduler compression_;

    mutable std::mutex error_mutex_;
    std::string write_error_;
};
