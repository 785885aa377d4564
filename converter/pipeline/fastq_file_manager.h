#pragma once
// The FASTQ output stage of one lane. For every tile it sorts the spots into the lane's
// files (slot 0 undetermined, slots 1..n the lane's samples, slot n + 1 control), cuts each
// file's share into bundles of about 1 MiB of text per read, formats and compresses the
// bundles in parallel and queues them on their files. One writer thread writes the queues,
// always the idle file with the longest queue, and drains them after stop().
//
// Usage (lane driver):
//   FastqFileManager writer(config, timers, lane);
//   writer.run();                          // opens the files; may throw
//   writer.process_spots(spots, surface, tile);  // per tile
//   writer.stop(); writer.join();          // drains the queues, closes the files and, on
//                                          // their last lane, gives them their final names
//   if (writer.has_write_error()) ... writer.write_error() ...
#include "common/block_gzip.h"
#include "converter/pipeline/fastq_file.h"
#include "converter/pipeline/fastq_spot_bundle.h"

#include <oneapi/tbb/enumerable_thread_specific.h>

#include <atomic>
#include <cstdint>
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
    static constexpr int Sleep_ms = 20;

    FastqFileManager(const Config& config, TimerManager& timers, int lane);
    // Stops and joins a writer thread that is still running.
    ~FastqFileManager();
    FastqFileManager(const FastqFileManager&) = delete;
    FastqFileManager& operator=(const FastqFileManager&) = delete;

    // Opens the files and starts the writer thread. Throws what FastqFile::open throws.
    void run();
    void open_files();
    void stop() { running = false; }
    // Waits for the writer thread (which drains every queue first), then closes the files.
    void join();
    // Closes the files; on the last lane that writes them (every lane unless lanes are
    // merged) they are completed and renamed to their final names.
    void close_files();

    // sample + 1 for a spot with a sample, else the control slot for a control, else 0.
    int get_file_index(bool is_control, int sample) const;
    // Whether read (1-based) gets files: every read when neither Read1 nor Read2 is
    // configured, else the Read1 and Read2 reads, and index reads too with OutputIndexFASTQ.
    bool is_writable(int read) const;
    static bool is_writable(const Config& config, int read);
    // The files a lane opens at once.
    static int count_files(const Config& config, int lane);

    // Formats, compresses and queues one tile's spots, then waits while the queues are full.
    void process_spots(std::vector<Spot>& spots, int surface, int tile);
    // Cuts one slot's spots into bundles for one read and appends them to out.
    void create_bundles(std::vector<Spot*>& spots, int surface, int tile, int read,
                        std::vector<std::shared_ptr<FastqSpotBundle>>& out);

    std::shared_ptr<FastqSpotBundle> get_bundle();
    void return_bundle(std::shared_ptr<FastqSpotBundle> bundle);
    // The idle file with the longest non-empty queue (first met on ties), or null. Called
    // with mutex held.
    FastqFileReference* select_file();

    int total_bundles();
    std::uint64_t total_bytes_written();
    // The writer thread's body.
    void write_bundles();

    // The first write or close failure of the lane's files.
    bool has_write_error() const;
    // "ERROR: Unable to write '" + name + "' : " + system error text, or empty.
    std::string write_error() const;
    // Called by a file whose write or close failed; keeps the first report.
    void report_write_error(const std::string& name, const std::string& system_text);

    const Config* config;
    TimerManager* timers;
    int lane;
    std::atomic<bool> running{false};
    std::vector<std::vector<FastqFileReference>> files; // [read - 1][slot]
    std::vector<std::thread> threads;
    std::vector<std::shared_ptr<FastqSpotBundle>> free_bundles;
    std::vector<std::shared_ptr<FastqSpotBundle>> all_bundles;
    std::mutex mutex; // free_bundles, all_bundles, the choice of file and the busy flags

private:
    int num_samples_ = 0;
    // Per tile, reused: each slot's spots, and each read's and slot's new bundles.
    std::vector<std::vector<Spot*>> groups_;
    std::vector<std::vector<std::vector<std::shared_ptr<FastqSpotBundle>>>> new_bundles_;
    std::vector<std::shared_ptr<FastqSpotBundle>> batch_bundles_;
    // One codec per worker thread, rather than one per pooled bundle: a codec holds its
    // match-finder tables, which are large.
    tbb::enumerable_thread_specific<block_gzip::Compressor> codecs_;

    mutable std::mutex error_mutex_;
    std::string write_error_;
    std::atomic<bool> writer_failed_{false}; // the writer thread ended on an error
};
