#pragma once
// One FASTQ output file of a lane: a queue of finished bundles that the lane's writer thread
// writes in order, gzip members or plain text. The file is written under its temporary name
// (see converter/app/partial_files.h) and renamed to its final name when its last lane closes
// it. A write, close or rename that fails is remembered (the first one only) and reported to
// the owning manager; it never counts as written.
#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>

class FastqFileManager;
class FastqSpotBundle;

class FastqFile {
public:
    explicit FastqFile(FastqFileManager* manager = nullptr) : manager(manager) {}
    FastqFile(const FastqFile&) = delete;
    FastqFile& operator=(const FastqFile&) = delete;

    // Opens file (+ ".gz" when compressed) for binary output, under its temporary name. With
    // append, a file that this run already opened is extended; any other file is truncated, so
    // output of an earlier run is never extended. Throws std::runtime_error
    // "ERROR: Unable to open '" + name + "' : " + system error text.
    void open(const std::filesystem::path& file, bool compressed, bool append);
    bool is_open() const { return out.is_open(); }
    const std::string& name() const { return name_; }

    void add_bundle(std::shared_ptr<FastqSpotBundle> bundle);
    // Bundles waiting to be written.
    std::size_t queued();

    // Writes every queued bundle, oldest first, and hands each back to the manager's pool.
    // Returns the bytes written by this call.
    std::uint64_t write();
    // Closes the file when it is open; a failed close is reported like a failed write. With
    // last (the last lane that writes the file) a compressed file that holds no record gets
    // one empty member, so that it is a valid gzip file, and the file is renamed to its final
    // name.
    void close(bool last = true);

    // Records a failure of the writer thread with this file, like a failed write.
    void fail_with(const std::string& text);

    // Forgets every path opened so far in this process (for tests that act as several runs).
    static void reset_opened_paths();

    FastqFileManager* manager;
    bool compressed = false;
    std::atomic<std::uint64_t> bytes_written{0};
    std::ofstream out;
    std::deque<std::shared_ptr<FastqSpotBundle>> bundles;
    std::mutex mutex; // guards bundles

private:
    // Records the failure (once) with the system's text for errno, and tells the manager.
    void fail(int error_number);
    // Whether the file on disk holds no byte (an earlier lane's included).
    bool empty_on_disk() const;
    void write_empty_member();

    std::string name_;
    bool failed_ = false;
};

// One slot of a lane's file table.
struct FastqFileReference {
    std::shared_ptr<FastqFile> file;
    int busy = 0; // 1 while the writer thread writes the file
};
