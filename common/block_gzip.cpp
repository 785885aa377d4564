#include "common/block_gzip.h"

#include "common/little_endian.h"

#include <libdeflate.h>

#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

namespace block_gzip {
namespace {

using little_endian::load_u32;
using little_endian::store_u32;

constexpr unsigned char Header_template[Header_size] = {0x1F, 0x8B, 8,   0x04, 0, 0, 0, 0, 0, 10,
                                                        8,    0,    'B', 'S',  4, 0, 0, 0, 0, 0};

} // namespace

bool has_gzip_magic(const unsigned char* bytes, std::size_t size)
{
    return size >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

std::uint32_t recorded_member_size(const unsigned char* header)
{
    if (!(header[3] & 0x04) || header[12] != 'B' || header[13] != 'S')
        return 0;
    return load_u32(header + 16);
}

std::uint32_t recorded_text_size(const unsigned char* member, std::size_t member_size)
{
    return member_size < 4 ? 0 : load_u32(member + member_size - 4);
}

std::vector<unsigned char> empty_member()
{
    // A final block of fixed codes holding only the end-of-block code; CRC-32 and ISIZE of
    // no text are 0.
    constexpr unsigned char Empty_block[] = {0x03, 0x00};
    std::vector<unsigned char> member(Min_member_size + sizeof Empty_block, 0);
    std::memcpy(member.data(), Header_template, Header_size);
    std::memcpy(member.data() + Header_size, Empty_block, sizeof Empty_block);
    store_u32(member.data() + 16, static_cast<std::uint32_t>(member.size()));
    return member;
}

Compressor::Compressor(int level) : compressor_(libdeflate_alloc_compressor(level))
{
    if (!compressor_)
        throw std::runtime_error("ERROR: zng_deflateInit2() failed");
}

Compressor::~Compressor()
{
    if (compressor_)
        libdeflate_free_compressor(compressor_);
}

Compressor::Compressor(Compressor&& other) noexcept : compressor_(std::exchange(other.compressor_, nullptr)) {}

Compressor& Compressor::operator=(Compressor&& other) noexcept
{
    std::swap(compressor_, other.compressor_);
    return *this;
}

std::size_t Compressor::bound(std::size_t text_size) const
{
    return libdeflate_deflate_compress_bound(compressor_, text_size) + Min_member_size;
}

std::size_t Compressor::compress(const void* text, std::size_t text_size, std::vector<char>& out)
{
    const std::size_t needed = bound(text_size);
    if (out.size() < needed)
        out.resize(needed);
    return compress(text, text_size, out.data(), out.size());
}

std::size_t Compressor::compress(const void* text, std::size_t text_size, std::vector<unsigned char>& out)
{
    const std::size_t needed = bound(text_size);
    if (out.size() < needed)
        out.resize(needed);
    return compress(text, text_size, out.data(), out.size());
}

std::size_t Compressor::compress(const void* text, std::size_t text_size, void* out, std::size_t capacity)
{
    if (capacity < Min_member_size)
        throw std::runtime_error("ERROR: zng_deflate() failed");
    auto* member = static_cast<unsigned char*>(out);
    const std::size_t deflated =
        libdeflate_deflate_compress(compressor_, text, text_size, member + Header_size, capacity - Min_member_size);
    const std::size_t member_size = deflated + Min_member_size;
    if (deflated == 0 || member_size > std::numeric_limits<std::uint32_t>::max())
        throw std::runtime_error("ERROR: zng_deflate() failed");

    std::memcpy(member, Header_template, Header_size);
    store_u32(member + 16, static_cast<std::uint32_t>(member_size));
    unsigned char* trailer = member + Header_size + deflated;
    store_u32(trailer, libdeflate_crc32(0, text, text_size));
    store_u32(trailer + 4, static_cast<std::uint32_t>(text_size));
    return member_size;
}

Decompressor::Decompressor() : decompressor_(libdeflate_alloc_decompressor())
{
    if (!decompressor_)
        throw std::bad_alloc();
}

Decompressor::~Decompressor()
{
    if (decompressor_)
        libdeflate_free_decompressor(decompressor_);
}

Decompressor::Decompressor(Decompressor&& other) noexcept : decompressor_(std::exchange(other.decompressor_, nullptr))
{
}

Decompressor& Decompressor::operator=(Decompressor&& other) noexcept
{
    std::swap(decompressor_, other.decompressor_);
    return *this;
}

bool Decompressor::inflate(const void* member, std::size_t member_size, void* text, std::size_t text_size)
{
    std::size_t used = 0;
    // Without an actual-size output libdeflate insists on filling text_size exactly; it
    // checks the CRC-32 and ISIZE of the trailer itself.
    const libdeflate_result result =
        libdeflate_gzip_decompress_ex(decompressor_, member, member_size, text, text_size, &used, nullptr);
    return result == LIBDEFLATE_SUCCESS && used == member_size;
}

} // namespace block_gzip
