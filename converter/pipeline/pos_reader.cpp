#include "converter/pipeline/pos_reader.h"

#include "converter/app/file_checks.h"
#include "converter/app/logger.h"
#include "converter/app/utilities.h"
#include "converter/pipeline/file_header.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>

// The values are copied straight into int buffers.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr std::size_t Value_size = 4;

// Truncated toward zero; values beyond the range of int are held at its ends, NaN gives 0.
int float_position(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return std::numeric_limits<int>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

} // namespace

bool PosReader::open(const std::filesystem::path& file, std::uint64_t& spots)
{
    in_.open(file, std::ios::binary);
    if (!in_.is_open()) {
        const int error = errno;
        throw std::runtime_error("ERROR: Unable to open " + file.string() + " : " + get_system_error_message(error));
    }

    std::array<unsigned char, PositionsHeader::Size> bytes{};
    in_.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    if (static_cast<std::size_t>(in_.gcount()) != bytes.size()) {
        header_error("ERROR: Incomplete header in positions file: ", file);
        return false;
    }
    const PositionsHeader header = PositionsHeader::parse(bytes);
    if (!header.has_known_type()) {
        header_error("ERROR: Incorrect value type in positions file: ", file);
        return false;
    }
    type_ = header.type;
    spots = header.spots;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    values_size_ = error ? 0 : static_cast<std::uint64_t>(size) - PositionsHeader::Size;
    return true;
}

bool PosReader::holds(std::uint64_t spots) const
{
    return spots <= values_size_ / (2 * Value_size);
}

bool PosReader::read(int* buffer, std::uint64_t spots)
{
    const std::uint64_t values = 2 * spots;
    if (spots > std::numeric_limits<std::uint64_t>::max() / (2 * Value_size) ||
        values * Value_size > static_cast<std::uint64_t>(std::numeric_limits<std::streamsize>::max()))
        return false;
    const auto bytes = static_cast<std::streamsize>(values * Value_size);
    in_.read(reinterpret_cast<char*>(buffer), bytes);
    if (!in_ || in_.gcount() != bytes)
        return false;
    if (type_ == PositionsHeader::Float32_values) {
        for (std::uint64_t i = 0; i < values; ++i) {
            float value;
            std::memcpy(&value, buffer + i, sizeof value);
            buffer[i] = float_position(value);
        }
    }
    return true;
}

void PosReader::close()
{
    in_.close();
}
