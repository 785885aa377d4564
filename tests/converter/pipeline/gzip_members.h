#pragma once
// Reads FASTQ files written as block-gzip members with zlib, independently of the codec that
// wrote them: the whole file through gzread, and member by member by the size that each
// member's 'B','S' subfield records.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace gzip_members {

// The whole text of a gzip file of one or more members; error tells what went wrong.
inline std::string inflate_file(const std::filesystem::path& path, std::string& error)
{
    std::string text;
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open " + path.string();
        return text;
    }
    gzbuffer(file, 1 << 17);
    std::vector<char> chunk(1 << 16);
    int count = 0;
    while ((count = gzread(file, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0)
        text.append(chunk.data(), static_cast<std::size_t>(count));
    if (count < 0) {
        int code = 0;
        error = path.string() + ": " + gzerror(file, &code);
    }
    gzclose(file);
    return text;
}

// Inflates one whole member; false unless it ends exactly at its last byte.
inline bool inflate_member(const unsigned char* member, std::size_t size, std::string& text)
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return false;
    stream.next_in = const_cast<unsigned char*>(member);
    stream.avail_in = static_cast<uInt>(size);
    std::vector<char> chunk(1 << 16);
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<unsigned char*>(chunk.data());
        stream.avail_out = static_cast<uInt>(chunk.size());
        result = inflate(&stream, Z_NO_FLUSH);
        text.append(chunk.data(), chunk.size() - stream.avail_out);
    }
    const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return whole;
}

// The texts of the members of a file's bytes, walked by their recorded sizes; an empty
// result with error set when a member header is not the block-gzip one or a size does not fit.
inline std::vector<std::string> member_texts(const std::string& bytes, std::string& error)
{
    // Everything of the 20-byte header but the size at offset 16.
    static const unsigned char fixed[16] = {0x1F, 0x8B, 8, 4, 0, 0, 0, 0, 0, 10, 8, 0, 'B', 'S', 4, 0};
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::vector<std::string> texts;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::string where = "member " + std::to_string(texts.size()) + " at byte " + std::to_string(at);
        if (bytes.size() - at < 28 || std::memcmp(data + at, fixed, sizeof fixed) != 0) {
            error = where + ": not a block-gzip member header";
            return {};
        }
        const std::uint32_t size = std::uint32_t(data[at + 16]) | std::uint32_t(data[at + 17]) << 8 |
                                   std::uint32_t(data[at + 18]) << 16 | std::uint32_t(data[at + 19]) << 24;
        if (size < 28 || size > bytes.size() - at) {
            error = where + ": recorded size " + std::to_string(size) + " does not fit";
            return {};
        }
        std::string text;
        if (!inflate_member(data + at, size, text)) {
            error = where + ": does not inflate as one whole member of " + std::to_string(size) + " bytes";
            return {};
        }
        texts.push_back(std::move(text));
        at += size;
    }
    return texts;
}

} // namespace gzip_members
