#pragma once
// Unsigned little-endian fields of the file formats: the headers of base-call and positions
// files, their 32-bit positions, and the sizes and checksums of block-gzip members. Written as
// byte shifts, so that they hold on any machine; the compiler makes each a single load or store.
#include <cstdint>

namespace little_endian {

inline std::uint32_t load_u32(const unsigned char* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

inline std::uint64_t load_u64(const unsigned char* bytes)
{
    return std::uint64_t(load_u32(bytes)) | std::uint64_t(load_u32(bytes + 4)) << 32;
}

inline void store_u32(unsigned char* bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void store_u64(unsigned char* bytes, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

} // namespace little_endian
