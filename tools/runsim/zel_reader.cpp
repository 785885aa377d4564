#include "tools/runsim/zel_reader.h"

#include "common/block_gzip.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace runsim {
namespace {

// Decoded here on its own, not by the code that wrote it: this reader checks the writers.
std::uint64_t get_u64(const unsigned char* p)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

[[noreturn]] void damaged(const std::string& what)
{
    throw std::runtime_error("damaged gzip data: " + what);
}

// Inflates the ordinary gzip member at the start of input, appending its text to out; returns
// the number of input bytes it took.
std::size_t inflate_ordinary_member(std::span<const unsigned char> input, std::vector<unsigned char>& out)
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        throw std::runtime_error("cannot start inflating");
    const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, inflateEnd);
    stream.next_in = const_cast<unsigned char*>(input.data());
    stream.avail_in = static_cast<uInt>(std::min<std::size_t>(input.size(), 1u << 30));
    unsigned char buffer[1 << 16];
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END)
            damaged("ordinary member does not inflate");
        out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
        if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)
            damaged("ordinary member is cut short");
    }
    return input.size() - stream.avail_in;
}

} // namespace

std::vector<unsigned char> read_file_bytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path.string());
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        throw std::runtime_error("cannot read " + path.string());
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::size_t>(in.gcount()) != bytes.size())
        throw std::runtime_error("cannot read " + path.string());
    return bytes;
}

std::vector<GzipMember> block_gzip_members(std::span<const unsigned char> file)
{
    std::vector<GzipMember> members;
    std::uint64_t offset = 0;
    while (offset < file.size()) {
        const std::uint64_t left = file.size() - offset;
        const unsigned char* header = file.data() + offset;
        if (left < block_gzip::Header_size || !block_gzip::has_gzip_magic(header, left))
            damaged("no gzip member at offset " + std::to_string(offset));
        const std::uint64_t size = block_gzip::recorded_member_size(header);
        if (size == 0)
            damaged("member at offset " + std::to_string(offset) + " has no size subfield");
        if (size < block_gzip::Min_member_size || size > left)
            damaged("member at offset " + std::to_string(offset) + " records size " + std::to_string(size) + " with " +
                    std::to_string(left) + " bytes left");
        members.push_back({offset, size});
        offset += size;
    }
    return members;
}

std::vector<unsigned char> inflate_gzip_file(std::span<const unsigned char> file)
{
    std::vector<unsigned char> out;
    block_gzip::Decompressor decompressor;
    std::uint64_t offset = 0;
    while (offset < file.size()) {
        const std::uint64_t left = file.size() - offset;
        const unsigned char* member = file.data() + offset;
        if (!block_gzip::has_gzip_magic(member, left))
            damaged("no gzip member at offset " + std::to_string(offset));
        const std::uint64_t size = left >= block_gzip::Header_size ? block_gzip::recorded_member_size(member) : 0;
        if (size == 0) {
            offset += inflate_ordinary_member(file.subspan(offset), out);
            continue;
        }
        if (size < block_gzip::Min_member_size || size > left)
            damaged("member at offset " + std::to_string(offset) + " records size " + std::to_string(size) + " with " +
                    std::to_string(left) + " bytes left");
        const std::uint64_t text_size = block_gzip::recorded_text_size(member, size);
        if (text_size > size * block_gzip::Max_expansion)
            damaged("member at offset " + std::to_string(offset) + " records an impossible length");
        const std::size_t at = out.size();
        out.resize(at + text_size);
        if (!decompressor.inflate(member, size, out.data() + at, text_size))
            damaged("member at offset " + std::to_string(offset) + " does not inflate");
        offset += size;
    }
    return out;
}

ZelHeader parse_zel_header(std::span<const unsigned char> stream, std::size_t& header_size)
{
    if (stream.size() < Zel_fixed_header_size)
        throw std::runtime_error("base-call stream shorter than its header");
    ZelHeader header;
    const unsigned char* p = stream.data();
    header.type = get_u64(p);
    header.version = get_u64(p + 8);
    header.spots = get_u64(p + 16);
    header.cycles = get_u64(p + 24);
    header.extra_cycles = get_u64(p + 32);
    const std::uint64_t text_size = get_u64(p + 40);
    if (text_size > stream.size() - Zel_fixed_header_size)
        throw std::runtime_error("base-call stream shorter than its header text");
    header.text.assign(reinterpret_cast<const char*>(p + Zel_fixed_header_size), static_cast<std::size_t>(text_size));
    header_size = Zel_fixed_header_size + static_cast<std::size_t>(text_size);
    return header;
}

ZelContent read_zel_file(const std::filesystem::path& path)
{
    const std::vector<unsigned char> file = read_file_bytes(path);
    ZelContent content;
    std::size_t header_size = 0;
    if (!block_gzip::has_gzip_magic(file.data(), file.size())) {
        content.storage = ZelStorage::Plain;
        content.header = parse_zel_header(file, header_size);
        const std::size_t count = (file.size() - header_size) / 2;
        const unsigned char* letters = file.data() + header_size;
        const unsigned char* qualities = letters + count;
        content.calls.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            int base = 0;
            switch (letters[i]) {
            case 'C':
                base = 1;
                break;
            case 'G':
                base = 2;
                break;
            case 'T':
                base = 3;
                break;
            default:
                break;
            }
            content.calls[i] = static_cast<unsigned char>(qualities[i] * 4 + base);
        }
        return content;
    }
    const bool block = file.size() >= block_gzip::Header_size && block_gzip::recorded_member_size(file.data()) != 0;
    content.storage = block ? ZelStorage::BlockGzip : ZelStorage::Gzip;
    if (block)
        content.members = block_gzip_members(file);
    const std::vector<unsigned char> stream = inflate_gzip_file(file);
    content.header = parse_zel_header(stream, header_size);
    content.calls.assign(stream.begin() + static_cast<std::ptrdiff_t>(header_size), stream.end());
    return content;
}

} // namespace runsim
