#pragma once
// The header that begins every base-call file (".zel"; for versions 3 and 4 the inflated
// stream): six little-endian 64-bit fields, then a text block of text_length bytes. Which
// versions and counts are acceptable, and what is said about a header that is not, is each
// reader's own.
#include "common/little_endian.h"

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::uint64_t Zel_file_type = 42;

struct ZelHeader {
    static constexpr std::size_t Size = 48;

    std::uint64_t type = 0; // Zel_file_type in a base-call file
    std::uint64_t version = 0;
    std::uint64_t spots = 0;
    std::uint64_t cycles = 0; // per spot record
    std::uint64_t extra = 0;  // extra cycles at the end of each record
    std::uint64_t text_length = 0;

    // The fields as they stand in the header's bytes, unchecked.
    static ZelHeader parse(std::span<const unsigned char, Size> bytes)
    {
        using little_endian::load_u64;
        const unsigned char* p = bytes.data();
        return {load_u64(p), load_u64(p + 8), load_u64(p + 16), load_u64(p + 24), load_u64(p + 32), load_u64(p + 40)};
    }
};
