#pragma once
// Writes and reads positions files (Rn_positions): a little-endian header of three 64-bit
// fields (a first field that readers ignore, the value type: 5 for 32-bit signed integers, 6 for
// 32-bit floats, and the number of spots), then x and y of every spot as 32-bit values.
//
// Float files hold x + 0.25 for x >= 0 and x - 0.25 for x < 0 (y likewise), so that a reader
// that truncates toward zero gets the integer back and one that reads the bits as integers does
// not.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

namespace runsim {

inline constexpr std::size_t Positions_header_size = 24;
inline constexpr std::uint64_t Positions_first_field = 1;

enum class PositionsType : std::uint64_t { Int32 = 5, Float32 = 6 };

// "int" or "float".
std::string_view positions_type_name(PositionsType type);
// The type named by the text ("int", "float", "5" or "6"); throws std::invalid_argument.
PositionsType parse_positions_type(std::string_view text);

struct PositionsContent {
    std::uint64_t first_field = 0;
    std::uint64_t type = 0;
    std::uint64_t spots = 0;      // as the header says
    std::vector<std::int32_t> xy; // x and y interleaved, as many pairs as the file holds
                                  // (float values truncated toward zero)
};

// The whole file's bytes for the positions (x and y interleaved) with the header's spot count
// set to header_spots (normally xy.size() / 2).
std::vector<unsigned char> positions_bytes(std::span<const std::int32_t> xy, PositionsType type,
                                           std::uint64_t header_spots);

// Writes a positions file; returns its size. Throws std::runtime_error.
std::uint64_t write_positions_file(const std::filesystem::path& path, std::span<const std::int32_t> xy,
                                   PositionsType type);

// Reads a positions file; pairs that the file holds beyond its header count are ignored, a
// short file gives fewer pairs. Throws std::runtime_error when the header is incomplete or the
// value type is neither 5 nor 6.
PositionsContent read_positions_file(const std::filesystem::path& path);

} // namespace runsim
