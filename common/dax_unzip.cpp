#include "common/dax_unzip.h"

#include "common/block_gzip.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <stdexcept>

namespace {

// zlib counts in 32 bits; larger inputs and outputs are handed over in pieces.
constexpr std::uint64_t Max_zlib_chunk = std::uint64_t(1) << 30;

// Room reserved up front for ordinary members: their last ISIZE is a fair guess for a
// single member; the guess is bounded so that a garbage trailer cannot ask for gigabytes.
// The output grows when the guess is short.
constexpr std::uint64_t Max_ordinary_ratio = 32;

std::uint64_t ordinary_size_hint(const unsigned char* members, std::uint64_t size)
{
    const std::uint64_t recorded = block_gzip::recorded_text_size(members, size);
    return std::max<std::uint64_t>(std::min(recorded, Max_ordinary_ratio * size), 4096);
}

std::uint64_t saturated_sum(std::uint64_t a, std::uint64_t b)
{
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

std::uint64_t saturated_product(std::uint64_t a, std::uint64_t b)
{
    return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

} // namespace

void DaxUnZip::InflateStreamEnd::operator()(void* stream) const
{
    inflateEnd(static_cast<z_stream*>(stream));
    delete static_cast<z_stream*>(stream);
}

void DaxUnZip::Bytes::assign_size(std::uint64_t size)
{
    if (size > capacity_ || !data_) {
        data_.reset();
        capacity_ = std::max<std::uint64_t>(size, 1);
        data_ = std::make_unique_for_overwrite<unsigned char[]>(capacity_);
    }
    size_ = size;
}

void DaxUnZip::Bytes::grow(std::uint64_t size)
{
    if (size > capacity_) {
        auto bigger = std::make_unique_for_overwrite<unsigned char[]>(size);
        if (size_ > 0)
            std::memcpy(bigger.get(), data_.get(), size_);
        data_ = std::move(bigger);
        capacity_ = size;
    }
    size_ = std::max(size_, size);
}

DaxUnZip::DaxUnZip(int threads) : own_pool_(std::make_unique<Corvex::ThreadPool>(threads)), pool_(*own_pool_) {}

DaxUnZip::DaxUnZip(const std::string& path, int threads)
    : path_(path), own_pool_(std::make_unique<Corvex::ThreadPool>(threads)), pool_(*own_pool_)
{
}

DaxUnZip::DaxUnZip(Corvex::ThreadPool& pool) : pool_(pool) {}

DaxUnZip::~DaxUnZip()
{
    // Jobs on a shared pool write into this object's buffers.
    for (std::future<bool>& future : futures_)
        if (future.valid())
            future.wait();
}

void DaxUnZip::setfilepath(const std::string& path)
{
    path_ = path;
}

void DaxUnZip::reset()
{
    if (file_.is_open())
        file_.close();
    file_size_ = 0;
    compressed_.clear();
    compressed_offset_ = 0;
    members_.clear();
    ordinary_offset_ = 0;
    output_.clear();
    output_base_ = 0;
    total_ = 0;
    read_all_ = false;
    read_position_ = 0;
    limit_ = UINT64_MAX;
    inflated_members_ = 0;
    first_job_ = 0;
    ordinary_stream_.reset();
    ordinary_position_ = 0;
    ordinary_done_ = false;
    failure_ = nullptr;
    created_ = false;
}

bool DaxUnZip::create()
{
    if (created_)
        return false;
    reset();
    // A folder opens as a stream on this platform but holds no bytes to read.
    std::error_code ignored;
    if (!std::filesystem::is_directory(path_, ignored)) {
        // Unbuffered: member headers are read one by one, and member bodies straight into
        // place.
        file_.rdbuf()->pubsetbuf(nullptr, 0);
        file_.open(path_, std::ios::binary);
    }
    if (!file_.is_open())
        throw std::runtime_error("Open " + path_ + " failed.");
    created_ = true;
    return true;
}

std::uint64_t DaxUnZip::decompress(unsigned char* buffer, std::uint64_t size)
{
    if (!created_)
        throw std::runtime_error("Object must first be initialized.");
    if (buffer == nullptr || size == 0)
        return 0;
    if (failure_)
        std::rethrow_exception(failure_);
    const std::uint64_t waiting = total_ - read_position_;
    if (size <= waiting) {
        decompress_streams();
        return serve(buffer, size);
    }
    // The call asks for more than is inflated: what is waiting goes first, then the members
    // that the rest of the call covers whole are inflated straight into the buffer.
    std::uint64_t served = serve(buffer, waiting);
    const std::uint64_t direct = inflate_up_to(limit_, buffer + served, size - served);
    read_position_ += direct;
    served += direct;
    return served + serve(buffer + served, size - served);
}

std::uint64_t DaxUnZip::serve(unsigned char* buffer, std::uint64_t size)
{
    const std::uint64_t count = std::min(size, total_ - read_position_);
    if (count > 0)
        std::memcpy(buffer, output_.data() + (read_position_ - output_base_), count);
    read_position_ += count;
    return count;
}

void DaxUnZip::set_limit(std::uint64_t bytes)
{
    limit_ = bytes;
}

std::uint64_t DaxUnZip::remaining_bound()
{
    if (!created_)
        throw std::runtime_error("Object must first be initialized.");
    if (failure_)
        std::rethrow_exception(failure_);
    try {
        read_stream_data();
    } catch (...) {
        failure_ = std::current_exception();
        throw;
    }
    std::uint64_t bound = total_ - read_position_;
    for (std::size_t i = inflated_members_; i < members_.size(); ++i)
        bound = saturated_sum(bound, members_[i].text_size);
    // Deflate data never expands by more than Max_expansion; headers and trailers add nothing.
    if (!ordinary_done_) {
        const std::uint64_t start = ordinary_stream_ ? ordinary_position_ : ordinary_offset_;
        bound = saturated_sum(bound, saturated_product(file_size_ - start, block_gzip::Max_expansion));
    }
    return bound;
}

bool DaxUnZip::at_end()
{
    if (!created_ || failure_)
        return false;
    if (read_position_ < total_)
        return false;
    try {
        read_stream_data();
        for (std::size_t i = inflated_members_; i < members_.size(); ++i)
            if (members_[i].text_size > 0)
                return false;
        // Only empty members and perhaps ordinary ones are left: one more byte tells.
        inflate_up_to(total_ + 1);
    } catch (...) {
        return false;
    }
    return read_position_ == total_;
}

void DaxUnZip::decompress_streams()
{
    inflate_up_to(limit_);
}

std::uint64_t DaxUnZip::inflate_up_to(std::uint64_t limit, unsigned char* direct, std::uint64_t direct_size)
{
    // Nothing of a damaged file is ever served: every later call fails the same way.
    if (failure_)
        std::rethrow_exception(failure_);
    try {
        target_ = limit;
        read_stream_data();
        // With nothing left to serve, the output buffer starts afresh where the text is.
        const bool served_all = read_position_ == total_;
        if (served_all) {
            output_base_ = total_;
            output_.clear();
        }
        destinations_.clear();
        direct_bytes_ = 0;
        if (served_all && direct != nullptr) {
            // Members that the caller's buffer takes whole, from the first one not inflated.
            for (std::size_t i = inflated_members_;
                 i < members_.size() && members_[i].output_offset < target_ &&
                 members_[i].output_offset + members_[i].text_size <= read_position_ + direct_size;
                 ++i) {
                destinations_.push_back(direct + (members_[i].output_offset - read_position_));
                direct_bytes_ += members_[i].text_size;
            }
            if (!destinations_.empty())
                output_base_ = total_ + direct_bytes_;
        }
        schedule_decompress_stream_block();
        sync_stream_block_decompression_results();
        if (inflated_members_ == members_.size() && total_ < limit)
            inflate_ordinary_members(limit);
        return direct_bytes_;
    } catch (...) {
        failure_ = std::current_exception();
        throw;
    }
}

void DaxUnZip::read_stream_data()
{
    if (read_all_)
        return;

    file_.clear();
    file_.seekg(0, std::ios::end);
    const std::streamoff end = file_.tellg();
    if (!file_ || end < 0)
        format_error();
    file_size_ = static_cast<std::uint64_t>(end);

    // Cut the 'B','S' members by their recorded sizes, reading only each member's header and
    // its last four bytes; the rest, from the first member without an extra field on, is
    // inflated serially.
    unsigned char header[block_gzip::Header_size];
    unsigned char trailer[4];
    const auto read_at = [this](std::uint64_t offset, unsigned char* bytes, std::size_t count) {
        file_.seekg(static_cast<std::streamoff>(offset));
        if (!file_.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(count)))
            format_error();
    };
    std::uint64_t position = 0;
    std::uint64_t text_total = 0;
    members_.clear();
    ordinary_offset_ = file_size_;
    while (position < file_size_) {
        const std::uint64_t left = file_size_ - position;
        if (left < block_gzip::Header_size)
            format_error();
        read_at(position, header, sizeof header);
        if (!block_gzip::has_gzip_magic(header, sizeof header))
            format_error();
        if (!(header[3] & 0x04)) {
            ordinary_offset_ = position;
            break;
        }
        if (header[12] != 'B' || header[13] != 'S')
            format_error();
        const std::uint64_t size = block_gzip::recorded_member_size(header);
        if (size < block_gzip::Min_member_size || size > left)
            format_error();
        read_at(position + size - sizeof trailer, trailer, sizeof trailer);
        const std::uint64_t text_size = block_gzip::recorded_text_size(trailer, sizeof trailer);
        if (text_size > block_gzip::Max_expansion * size)
            format_error();
        members_.push_back({position, size, text_total, text_size});
        text_total += text_size;
        position += size;
    }
    ordinary_position_ = ordinary_offset_;
    ordinary_done_ = ordinary_offset_ == file_size_;
    read_all_ = true;
}

void DaxUnZip::load_compressed(std::uint64_t begin, std::uint64_t end)
{
    compressed_offset_ = begin;
    compressed_.assign_size(end - begin);
    if (end == begin)
        return;
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(begin));
    if (!file_.read(reinterpret_cast<char*>(compressed_.data()), static_cast<std::streamsize>(end - begin)))
        format_error();
}

void DaxUnZip::schedule_decompress_stream_block()
{
    // Every member that begins before the limit, the last one whole.
    std::size_t end = inflated_members_;
    while (end < members_.size() && members_[end].output_offset < target_)
        ++end;
    if (end == inflated_members_)
        return;
    const Member& first = members_[inflated_members_];
    const Member& last = members_[end - 1];
    load_compressed(first.offset, last.offset + last.size);
    // The members that do not go to the caller's buffer go to the output buffer.
    output_.grow(last.output_offset + last.text_size - output_base_);
    for (std::size_t i = inflated_members_ + destinations_.size(); i < end; ++i)
        destinations_.push_back(output_.data() + (members_[i].output_offset - output_base_));
    futures_.clear();
    futures_.reserve(end - inflated_members_);
    first_job_ = inflated_members_;
    inflated_members_ = end;
    try {
        for (std::size_t i = first_job_; i < end; ++i)
            futures_.push_back(pool_.enqueue([this, i] { return decompress_stream_block(i); }));
    } catch (...) {
        for (std::future<bool>& future : futures_)
            future.wait();
        futures_.clear();
        throw;
    }
}

void DaxUnZip::sync_stream_block_decompression_results()
{
    if (futures_.empty())
        return;
    // Every job is waited for before an error leaves: a job still running would write into
    // buffers that the next file reuses. The first failing member in file order wins.
    std::exception_ptr first_error;
    for (std::size_t i = 0; i < futures_.size(); ++i) {
        try {
            if (!futures_[i].get() && !first_error)
                first_error = std::make_exception_ptr(std::runtime_error(path_ + ": File format error."));
        } catch (...) {
            if (!first_error)
                first_error = std::current_exception();
        }
    }
    futures_.clear();
    if (first_error)
        std::rethrow_exception(first_error);

    const Member& last = members_[inflated_members_ - 1];
    total_ = last.output_offset + last.text_size;
}

bool DaxUnZip::decompress_stream_block(std::size_t index)
{
    // One decompressor per worker thread, kept for the thread's life.
    thread_local block_gzip::Decompressor decompressor;
    const Member& member = members_[index];
    return decompressor.inflate(compressed_.data() + (member.offset - compressed_offset_), member.size,
                                destinations_[index - first_job_], member.text_size);
}

void DaxUnZip::inflate_ordinary_members(std::uint64_t limit)
{
    if (ordinary_done_)
        return;
    if (compressed_offset_ != ordinary_offset_ || compressed_.size() != file_size_ - ordinary_offset_)
        load_compressed(ordinary_offset_, file_size_);
    const std::uint64_t in_size = compressed_.size();
    const unsigned char* in = compressed_.data();

    if (!ordinary_stream_) {
        auto stream = std::make_unique<z_stream>();
        const int init = inflateInit2(stream.get(), 15 + 16);
        if (init == Z_MEM_ERROR)
            throw std::bad_alloc();
        if (init != Z_OK)
            format_error();
        ordinary_stream_.reset(stream.release());
        // Room for the members as a whole: their last ISIZE is a fair guess, held to the limit.
        output_.grow(std::min(saturated_sum(total_, ordinary_size_hint(in, in_size)), std::max(limit, total_)) -
                     output_base_);
    }
    z_stream& stream = *static_cast<z_stream*>(ordinary_stream_.get());

    std::uint64_t in_position = ordinary_position_ - ordinary_offset_;
    while (total_ < limit) {
        if (total_ - output_base_ == output_.size()) {
            const std::uint64_t grown = saturated_sum(total_, std::max(total_ - output_base_, in_size));
            output_.grow(std::min(grown, limit) - output_base_);
        }
        const auto in_avail = static_cast<uInt>(std::min(in_size - in_position, Max_zlib_chunk));
        const auto out_avail =
            static_cast<uInt>(std::min({output_.size() - (total_ - output_base_), limit - total_, Max_zlib_chunk}));
        stream.next_in = in + in_position;
        stream.avail_in = in_avail;
        stream.next_out = output_.data() + (total_ - output_base_);
        stream.avail_out = out_avail;
        const int result = inflate(&stream, Z_NO_FLUSH);
        in_position += in_avail - stream.avail_in;
        total_ += out_avail - stream.avail_out;
        ordinary_position_ = ordinary_offset_ + in_position;

        if (result == Z_STREAM_END) {
            if (in_position == in_size) {
                ordinary_done_ = true;
                ordinary_stream_.reset();
                break;
            }
            // Another member must follow at once; anything else is trailing garbage.
            if (!block_gzip::has_gzip_magic(in + in_position, in_size - in_position))
                format_error();
            inflateReset(&stream);
        } else if (result == Z_MEM_ERROR) {
            throw std::bad_alloc();
        } else if (result != Z_OK && !(result == Z_BUF_ERROR && stream.avail_out == 0)) {
            // Bad data, a bad check value, or the input ended inside a member.
            format_error();
        }
    }
}

void DaxUnZip::format_error() const
{
    throw std::runtime_error(path_ + ": File format error.");
}
