#pragma once
// Reads one positions file ("R1_positions"): a little-endian header of three 64-bit fields
// (a first field that is not used, the value type: 5 for 32-bit signed integers, 6 for
// 32-bit floats, and the number of spots), then x and y of every spot as 32-bit values, in
// the spot order of the base-call file.
#include <cstdint>
#include <filesystem>
#include <fstream>

class PosReader {
public:
    static constexpr std::uint64_t Int32_values = 5;
    static constexpr std::uint64_t Float32_values = 6;

    // Opens the file and reads its header; spots is set to the header's spot count. Throws
    // std::runtime_error "ERROR: Unable to open <path> : <system text>" when the file cannot
    // be opened. A header that is incomplete or names another value type is logged at ERROR
    // with the file's path and gives false, spots unchanged.
    bool open(const std::filesystem::path& file, std::uint64_t& spots);

    // Reads the next spots pairs of x and y into buffer (2 x spots values); float values are
    // truncated toward zero. True when all of them came.
    bool read(int* buffer, std::uint64_t spots);

    // Whether the rest of the file is long enough for spots pairs, from its size.
    bool holds(std::uint64_t spots) const;

    // Closes the file; a failed close sets the stream's fail state.
    void close();

private:
    std::ifstream in_;
    std::uint64_t type_ = Int32_values;
    std::uint64_t values_size_ = 0; // bytes after the header
};
