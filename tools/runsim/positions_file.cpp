#include "tools/runsim/positions_file.h"

#include "common/little_endian.h"
#include "tools/runsim/zel_reader.h"
#include "tools/runsim/zel_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>
#include <string>

namespace runsim {
namespace {

using little_endian::store_u32;
using little_endian::store_u64;

// The positions read back are decoded here on their own, not by the code that wrote them.
std::uint32_t get_u32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint64_t get_u64(const unsigned char* p)
{
    return std::uint64_t(get_u32(p)) | std::uint64_t(get_u32(p + 4)) << 32;
}

std::uint32_t encode(std::int32_t value, PositionsType type)
{
    if (type == PositionsType::Int32)
        return static_cast<std::uint32_t>(value);
    const float f = value >= 0 ? static_cast<float>(value) + 0.25f : static_cast<float>(value) - 0.25f;
    return std::bit_cast<std::uint32_t>(f);
}

} // namespace

std::string_view positions_type_name(PositionsType type)
{
    return type == PositionsType::Float32 ? "float" : "int";
}

PositionsType parse_positions_type(std::string_view text)
{
    if (text == "int" || text == "5")
        return PositionsType::Int32;
    if (text == "float" || text == "6")
        return PositionsType::Float32;
    throw std::invalid_argument("unknown positions type '" + std::string(text) + "' (int or float)");
}

std::vector<unsigned char> positions_bytes(std::span<const std::int32_t> xy, PositionsType type,
                                           std::uint64_t header_spots)
{
    std::vector<unsigned char> bytes(Positions_header_size + 4 * xy.size());
    store_u64(bytes.data(), Positions_first_field);
    store_u64(bytes.data() + 8, static_cast<std::uint64_t>(type));
    store_u64(bytes.data() + 16, header_spots);
    for (std::size_t i = 0; i < xy.size(); ++i)
        store_u32(bytes.data() + Positions_header_size + 4 * i, encode(xy[i], type));
    return bytes;
}

std::uint64_t write_positions_file(const std::filesystem::path& path, std::span<const std::int32_t> xy,
                                   PositionsType type)
{
    const std::vector<unsigned char> bytes = positions_bytes(xy, type, xy.size() / 2);
    write_bytes(path, bytes);
    return bytes.size();
}

PositionsContent read_positions_file(const std::filesystem::path& path)
{
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    if (bytes.size() < Positions_header_size)
        throw std::runtime_error("positions file shorter than its header: " + path.string());
    PositionsContent content;
    content.first_field = get_u64(bytes.data());
    content.type = get_u64(bytes.data() + 8);
    content.spots = get_u64(bytes.data() + 16);
    if (content.type != 5 && content.type != 6)
        throw std::runtime_error("unknown positions value type in " + path.string());
    const std::uint64_t pairs = std::min<std::uint64_t>(content.spots, (bytes.size() - Positions_header_size) / 8);
    content.xy.resize(static_cast<std::size_t>(2 * pairs));
    for (std::size_t i = 0; i < content.xy.size(); ++i) {
        const std::uint32_t raw = get_u32(bytes.data() + Positions_header_size + 4 * i);
        content.xy[i] = content.type == 5 ? static_cast<std::int32_t>(raw)
                                          : static_cast<std::int32_t>(std::trunc(std::bit_cast<float>(raw)));
    }
    return content;
}

} // namespace runsim
