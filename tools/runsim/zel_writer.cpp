#include "tools/runsim/zel_writer.h"

#include "common/block_gzip.h"
#include "common/little_endian.h"
#include "tools/runsim/random_calls.h"

#include <tbb/blocked_range.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace runsim {
namespace {

// A file opened for writing; every write is checked.
class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& path) : path_(path), out_(path, std::ios::binary | std::ios::trunc)
    {
        if (!out_)
            throw std::runtime_error("cannot create " + path_.string());
    }

    void write(const void* data, std::size_t size)
    {
        out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out_)
            throw std::runtime_error("cannot write " + path_.string());
        written_ += size;
    }

    std::uint64_t close()
    {
        out_.close();
        if (!out_)
            throw std::runtime_error("cannot write " + path_.string());
        return written_;
    }

private:
    std::filesystem::path path_;
    std::ofstream out_;
    std::uint64_t written_ = 0;
};

ZelFileStats write_gzip_file(const std::filesystem::path& path, std::span<const unsigned char> head,
                             std::span<const unsigned char> body, int level)
{
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("cannot start compression for " + path.string());
    const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, deflateEnd);

    OutputFile out(path);
    std::vector<unsigned char> buffer(std::size_t(1) << 20);
    const std::span<const unsigned char> parts[] = {head, body};
    constexpr std::size_t Chunk = std::size_t(1) << 20;
    for (int p = 0; p < 2; ++p) {
        const std::span<const unsigned char> part = parts[p];
        std::size_t offset = 0;
        do {
            const std::size_t size = std::min(Chunk, part.size() - offset);
            const bool last = p == 1 && offset + size == part.size();
            stream.next_in = const_cast<unsigned char*>(part.data() + offset);
            stream.avail_in = static_cast<uInt>(size);
            int result = Z_OK;
            do {
                stream.next_out = buffer.data();
                stream.avail_out = static_cast<uInt>(buffer.size());
                result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
                if (result == Z_STREAM_ERROR)
                    throw std::runtime_error("compression failed for " + path.string());
                out.write(buffer.data(), buffer.size() - stream.avail_out);
            } while (stream.avail_out == 0 || (last && result != Z_STREAM_END));
            offset += size;
        } while (offset < part.size());
    }
    ZelFileStats stats;
    stats.file_bytes = out.close();
    stats.stream_bytes = head.size() + body.size();
    stats.members = 1;
    return stats;
}

ZelFileStats write_plain_file(const std::filesystem::path& path, std::span<const unsigned char> head,
                              std::span<const unsigned char> calls)
{
    OutputFile out(path);
    out.write(head.data(), head.size());
    constexpr std::size_t Chunk = std::size_t(1) << 20;
    std::vector<unsigned char> buffer(Chunk);
    for (int block = 0; block < 2; ++block) {
        for (std::size_t offset = 0; offset < calls.size(); offset += Chunk) {
            const std::size_t size = std::min(Chunk, calls.size() - offset);
            for (std::size_t i = 0; i < size; ++i) {
                const unsigned char call = calls[offset + i];
                buffer[i] =
                    block == 0 ? (call < 4 ? 'N' : Base_letters[call & 3]) : static_cast<unsigned char>(call >> 2);
            }
            out.write(buffer.data(), size);
        }
    }
    ZelFileStats stats;
    stats.file_bytes = out.close();
    stats.stream_bytes = head.size() + 2 * calls.size();
    return stats;
}

} // namespace

std::string_view storage_name(ZelStorage storage)
{
    switch (storage) {
    case ZelStorage::BlockGzip:
        return "block-gzip";
    case ZelStorage::Gzip:
        return "gzip";
    case ZelStorage::Plain:
        return "plain";
    }
    return "?";
}

ZelStorage parse_storage(std::string_view text)
{
    for (const ZelStorage storage : {ZelStorage::BlockGzip, ZelStorage::Gzip, ZelStorage::Plain})
        if (text == storage_name(storage))
            return storage;
    throw std::invalid_argument("unknown storage '" + std::string(text) + "' (block-gzip, gzip or plain)");
}

std::uint64_t default_version(ZelStorage storage)
{
    return storage == ZelStorage::Plain ? 2 : 4;
}

std::vector<unsigned char> zel_header_bytes(const ZelHeader& header)
{
    std::vector<unsigned char> bytes(Zel_fixed_header_size);
    const std::uint64_t fields[] = {header.type,   header.version,      header.spots,
                                    header.cycles, header.extra_cycles, header.text.size()};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        little_endian::store_u64(bytes.data() + 8 * i, fields[i]);
    bytes.insert(bytes.end(), header.text.begin(), header.text.end());
    return bytes;
}

ZelFileStats write_block_gzip_file(const std::filesystem::path& path, std::span<const unsigned char> head,
                                   std::span<const unsigned char> body, std::size_t member_text_size, int level)
{
    if (member_text_size == 0)
        throw std::invalid_argument("the member text size must be at least 1 byte");
    const std::uint64_t total = head.size() + body.size();
    const std::size_t count = static_cast<std::size_t>((total + member_text_size - 1) / member_text_size);
    std::vector<std::vector<unsigned char>> members(count);
    std::vector<std::size_t> sizes(count);

    tbb::enumerable_thread_specific<block_gzip::Compressor> compressors(
        [level] { return block_gzip::Compressor(level); });
    tbb::parallel_for(tbb::blocked_range<std::size_t>(0, count, 1), [&](const auto& range) {
        block_gzip::Compressor& compressor = compressors.local();
        std::vector<unsigned char> joined;
        for (std::size_t i = range.begin(); i != range.end(); ++i) {
            const std::uint64_t begin = std::uint64_t(i) * member_text_size;
            const std::uint64_t end = std::min<std::uint64_t>(total, begin + member_text_size);
            const unsigned char* text = nullptr;
            if (begin >= head.size()) {
                text = body.data() + (begin - head.size());
            } else {
                // The member that holds the header: join it with the first calls.
                joined.clear();
                const std::size_t from_head =
                    static_cast<std::size_t>(std::min<std::uint64_t>(end, head.size()) - begin);
                joined.insert(joined.end(), head.begin() + static_cast<std::ptrdiff_t>(begin),
                              head.begin() + static_cast<std::ptrdiff_t>(begin + from_head));
                const std::size_t from_body = static_cast<std::size_t>(end - begin - from_head);
                joined.insert(joined.end(), body.begin(), body.begin() + static_cast<std::ptrdiff_t>(from_body));
                text = joined.data();
            }
            sizes[i] = compressor.compress(text, static_cast<std::size_t>(end - begin), members[i]);
        }
    });

    OutputFile out(path);
    for (std::size_t i = 0; i < count; ++i)
        out.write(members[i].data(), sizes[i]);
    ZelFileStats stats;
    stats.file_bytes = out.close();
    stats.stream_bytes = total;
    stats.members = count;
    return stats;
}

ZelFileStats write_zel_file(const std::filesystem::path& path, const ZelHeader& header,
                            std::span<const unsigned char> calls, const ZelWriteOptions& options)
{
    const std::vector<unsigned char> head = zel_header_bytes(header);
    switch (options.storage) {
    case ZelStorage::BlockGzip:
        return write_block_gzip_file(path, head, calls, options.member_text_size, options.level);
    case ZelStorage::Gzip:
        return write_gzip_file(path, head, calls, options.level);
    case ZelStorage::Plain:
        return write_plain_file(path, head, calls);
    }
    throw std::invalid_argument("unknown storage");
}

void write_bytes(const std::filesystem::path& path, std::span<const unsigned char> bytes)
{
    OutputFile out(path);
    out.write(bytes.data(), bytes.size());
    out.close();
}

} // namespace runsim
