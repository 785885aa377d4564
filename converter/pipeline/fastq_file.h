#pragma once
// One FASTQ output file of a lane, written by the lane's writer thread bundle after bundle,
// gzip members or plain text. The file is written under its temporary name (see
// common/partial_files.h); once its last lane has closed it and succeeded, it is renamed to
// its final name, and a lane that failed leaves it under its temporary name.
// A write, close or rename that fails is remembered (the first one only) and reported to the
// writer through the results of write and close; it never counts as written.
#include "common/descriptor_stream.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

class FastqSpotBundle;

class FastqFile {
public:
    FastqFile() = default;
    FastqFile(const FastqFile&) = delete;
    FastqFile& operator=(const FastqFile&) = delete;

    // Opens file (+ ".gz" when compressed) for binary output, under its temporary name. With
    // append, a file that this run already opened is extended; any other file is created anew,
    // so output of an earlier run is never extended. Throws std::runtime_error
    // "ERROR: Unable to open '" + name + "' : " + system error text.
    void open(const std::filesystem::path& file, bool compressed, bool append);
    bool is_open() const { return out.is_open(); }
    const std::string& name() const { return name_; }

    // Writes the bundle's member (or its text, when not compressed). After a failure the file
    // is not extended any further. False when the file has failed, now or before.
    bool write(const FastqSpotBundle& bundle);
    // Closes the file when it is open; a failed close is a failure like a failed write. With
    // last (the last lane that writes the file) a compressed file that holds no record gets
    // one empty member, so that it is a valid gzip file. False when the file has failed, now
    // or before.
    bool close(bool last = true);
    // Renames the closed file to its final name. False when the file has failed, now or before.
    bool publish();
    // Leaves the file under its temporary name for good. False when it was not waiting for
    // its final name (never opened, or published).
    bool leave();
    bool opened() const { return !name_.empty(); }

    // Records a failure with this file (the first one is kept), like a failed write.
    void fail_with(const std::string& text);
    bool failed() const { return failed_; }
    // The system's text for the first failure, or empty.
    const std::string& error() const { return error_; }

    // Forgets every path opened so far in this process (for tests that act as several runs).
    static void reset_opened_paths();

    bool compressed = false;
    std::atomic<std::uint64_t> bytes_written{0};
    DescriptorStream out;

private:
    // Records the failure with the system's text for errno.
    void fail(int error_number);
    // Whether the file on disk holds no byte (an earlier lane's included).
    bool empty_on_disk() const;
    void write_empty_member();

    std::string name_;
    bool failed_ = false;
    std::string error_;
};

// One slot of a lane's file table.
struct FastqFileReference {
    std::shared_ptr<FastqFile> file;
    bool last = true; // no later lane of the run writes the file (lanes merged)
};
