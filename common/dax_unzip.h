#pragma once
// Reads one whole file made of gzip members and hands out its inflated bytes in file
// order, as a serial gunzip would. Members carrying the 'B','S' size subfield (see
// common/block_gzip.h) are found by reading headers only and inflated in parallel, each
// straight into its place in one output buffer; ordinary gzip members that follow are
// inflated one after another. Every problem with the file's contents is reported as
// std::runtime_error path + ": File format error.".
//
// Use: setfilepath, create, decompress until it returns 0, reset; then the next file.
// One thread owns an object; the object owns its worker threads.
#include "common/thread_pool.h"

#include <cstdint>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <vector>

class DaxUnZip {
public:
    // Both throw std::runtime_error "Invalid argument to initializer." below one thread.
    explicit DaxUnZip(int threads);
    DaxUnZip(const std::string& path, int threads);
    virtual ~DaxUnZip();

    DaxUnZip(const DaxUnZip&) = delete;
    DaxUnZip& operator=(const DaxUnZip&) = delete;

    // The file that the next create opens.
    void setfilepath(const std::string& path);

    // Closes the file and forgets it; buffers keep their capacity for the next file.
    void reset();

    bool is_created() const { return created_; }

    // Opens the file (after a reset). False, and nothing done, when already created.
    // Throws std::runtime_error "Open " + path + " failed." when it cannot be opened.
    bool create();

    // Copies up to size further inflated bytes into buffer and returns their count; 0 at
    // the end of the data (or for a null buffer or a size of 0). The first call reads and
    // inflates the whole file. Throws std::runtime_error "Object must first be
    // initialized." before create, and path + ": File format error." for a damaged file
    // (on this and every later call until reset).
    std::uint64_t decompress(unsigned char* buffer, std::uint64_t size);

protected:
    // The steps of the first decompress: read the file and cut it into members, inflate the
    // 'B','S' members on the pool, wait for them, then inflate any ordinary members.
    void decompress_streams();
    void read_stream_data();
    void schedule_decompress_stream_block();
    void sync_stream_block_decompression_results();
    bool decompress_stream_block(std::size_t index);

private:
    // Bytes left uninitialised when the buffer grows; the capacity is kept across files.
    class Bytes {
    public:
        unsigned char* data() { return data_.get(); }
        std::uint64_t size() const { return size_; }
        // Sets the size; the contents are undefined afterwards.
        void assign_size(std::uint64_t size);
        // Sets a larger or equal size, keeping the contents.
        void grow(std::uint64_t size);
        void clear() { size_ = 0; }

    private:
        std::unique_ptr<unsigned char[]> data_;
        std::uint64_t size_ = 0;
        std::uint64_t capacity_ = 0;
    };

    // A 'B','S' member: where it lies in the file and where its text goes in the output.
    struct Member {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
        std::uint64_t output_offset = 0;
        std::uint64_t text_size = 0;
    };

    [[noreturn]] void format_error() const;
    void inflate_ordinary_members();

    std::string path_;
    std::ifstream file_;
    bool read_all_ = false;
    bool created_ = false;
    Bytes compressed_;
    std::vector<Member> members_;
    // Where the ordinary members begin in the file; equal to its size when there are none.
    std::uint64_t ordinary_offset_ = 0;
    Bytes output_;
    std::uint64_t total_ = 0;
    std::uint64_t read_position_ = 0;
    std::vector<std::future<bool>> futures_;
    // Declared last so that it is destroyed first: queued jobs write into the buffers above.
    Corvex::ThreadPool pool_;
};
