#pragma once
// Reads one positions file ("R1_positions", common/positions_header.h): x and y of every spot
// in the spot order of the base-call file.
#include "common/positions_header.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

class PosReader {
public:
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
    std::uint64_t type_ = PositionsHeader::Int32_values;
    std::uint64_t values_size_ = 0; // bytes after the header
};
