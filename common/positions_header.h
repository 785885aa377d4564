#pragma once
// The header that begins every positions file ("R1_positions"): three little-endian 64-bit
// fields (a first field that is not used, the value type, the number of spots), then x and y
// of every spot as 32-bit little-endian values of that type. What is said about a header that
// is not sound is each reader's own.
#include "common/little_endian.h"

#include <cstddef>
#include <cstdint>
#include <span>

struct PositionsHeader {
    static constexpr std::size_t Size = 24;
    static constexpr std::uint64_t Int32_values = 5;   // 32-bit signed integers
    static constexpr std::uint64_t Float32_values = 6; // 32-bit floats

    std::uint64_t type = 0;
    std::uint64_t spots = 0;

    // The fields as they stand in the header's bytes, unchecked.
    static PositionsHeader parse(std::span<const unsigned char, Size> bytes)
    {
        return {little_endian::load_u64(bytes.data() + 8), little_endian::load_u64(bytes.data() + 16)};
    }

    bool has_known_type() const { return type == Int32_values || type == Float32_values; }
};
