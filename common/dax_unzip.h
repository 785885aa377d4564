#pragma once
// Reads one whole file made of gzip members and hands out its inflated bytes in file
// order, as a serial gunzip would. Members carrying the 'B','S' size subfield (see
// common/block_gzip.h) are found by reading their headers only and inflated in parallel;
// ordinary gzip members that follow are inflated one after another. Every problem with the
// file's contents is reported as std::runtime_error path + ": File format error.".
//
// A member's compressed bytes are read from the file only when the member is inflated. A
// member whose text lies wholly inside what one decompress call asks for is inflated
// straight into the caller's buffer; the others go through the object's own buffer.
//
// By default the first decompress inflates the whole file, so that nothing of a damaged file
// is ever served. A caller that knows how much it needs sets a limit: then only the members
// that begin before the limit are inflated (the last of them whole), and what lies beyond
// costs neither memory nor time; remaining_bound and at_end tell what the file still holds.
//
// Use: setfilepath, create, decompress until it returns 0, reset; then the next file.
// One thread owns an object; the members are inflated on the object's own worker threads or
// on a pool that several objects share.
#include "common/thread_pool.h"

#include <cstdint>
#include <exception>
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
    // Inflates on the caller's pool, which must outlive the object; several objects, on
    // several threads, may share it.
    explicit DaxUnZip(Corvex::ThreadPool& pool);
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
    // the end of the data (or for a null buffer or a size of 0). The first call reads the
    // file and inflates it up to the limit. Throws std::runtime_error "Object must first be
    // initialized." before create, and path + ": File format error." for a damaged file
    // (on this and every later call until reset).
    std::uint64_t decompress(unsigned char* buffer, std::uint64_t size);

    // Inflate only as far as the first bytes inflated bytes of the file reach, and the rest
    // of the member that holds the last of them; the next decompress inflates what a larger
    // limit adds. reset returns to no limit.
    void set_limit(std::uint64_t bytes);

    // At least as many bytes as further decompress calls can give, found from the member
    // headers and the compressed size without inflating anything. Reads the file on its
    // first call; throws as decompress does.
    std::uint64_t remaining_bound();

    // Whether no further byte would come. Inflates at most one more byte for it; data that
    // cannot be inflated counts as something that lies beyond.
    bool at_end();

protected:
    // The steps of decompress: cut the file into members by their headers, inflate the
    // 'B','S' members that the limit reaches on the pool, wait for them, then inflate the
    // ordinary members up to the limit.
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

    // Ends a zlib inflate stream.
    struct InflateStreamEnd {
        void operator()(void* stream) const;
    };

    [[noreturn]] void format_error() const;
    // Inflates what the limit reaches; the first failure is kept and thrown again. When
    // nothing inflated is waiting to be served, the members whose text lies wholly inside
    // the direct_size bytes at direct go there; returns how many bytes they hold.
    std::uint64_t inflate_up_to(std::uint64_t limit, unsigned char* direct = nullptr, std::uint64_t direct_size = 0);
    void inflate_ordinary_members(std::uint64_t limit);
    // Reads the file's bytes [begin, end) into compressed_.
    void load_compressed(std::uint64_t begin, std::uint64_t end);
    // Copies what output_ holds from the read position on, up to size bytes.
    std::uint64_t serve(unsigned char* buffer, std::uint64_t size);

    std::string path_;
    std::ifstream file_;
    bool read_all_ = false; // the file is cut into members
    bool created_ = false;
    std::uint64_t file_size_ = 0;
    Bytes compressed_; // the file's bytes from compressed_offset_ on
    std::uint64_t compressed_offset_ = 0;
    std::vector<Member> members_;
    // Where the ordinary members begin in the file; equal to its size when there are none.
    std::uint64_t ordinary_offset_ = 0;
    Bytes output_; // inflated bytes from output_base_ to total_
    std::uint64_t output_base_ = 0;
    std::uint64_t total_ = 0; // inflated bytes so far
    std::uint64_t read_position_ = 0;
    // Where each member being inflated puts its text: the caller's buffer or output_.
    std::vector<unsigned char*> destinations_;
    std::uint64_t direct_bytes_ = 0; // text inflated into the caller's buffer by this call
    std::uint64_t limit_ = UINT64_MAX;
    std::uint64_t target_ = UINT64_MAX; // how far the inflating under way must reach
    // 'B','S' members inflated so far (always the first ones): [0, inflated_members_).
    std::size_t inflated_members_ = 0;
    // Members scheduled on the pool: [first_job_, inflated_members_) while they run.
    std::size_t first_job_ = 0;
    // The ordinary members' inflate state while they are inflated part of the way.
    std::unique_ptr<void, InflateStreamEnd> ordinary_stream_;
    std::uint64_t ordinary_position_ = 0; // next compressed byte of the ordinary members
    bool ordinary_done_ = false;
    std::exception_ptr failure_;
    std::vector<std::future<bool>> futures_;
    // Declared last so that an own pool is destroyed first: queued jobs write into the
    // buffers above. The destructor waits for jobs on a shared pool.
    std::unique_ptr<Corvex::ThreadPool> own_pool_;
    Corvex::ThreadPool& pool_;
};
