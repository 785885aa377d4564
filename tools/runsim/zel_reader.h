#pragma once
// Reads back what zel_writer writes: whole base-call files in any storage, and the member
// layout of block-gzip files. Used by the fault injector and by tests; it reads whole files
// into memory and checks every member, so it is meant for test-sized files.
#include "tools/runsim/zel_writer.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace runsim {

struct GzipMember {
    std::uint64_t offset = 0; // in the file
    std::uint64_t size = 0;   // header and trailer included
};

struct ZelContent {
    ZelStorage storage = ZelStorage::BlockGzip;
    ZelHeader header;
    std::vector<unsigned char> calls; // every call byte after the text (quality * 4 + base)
    std::vector<GzipMember> members;  // block-gzip files only
};

// The whole file. Throws std::runtime_error when it cannot be read.
std::vector<unsigned char> read_file_bytes(const std::filesystem::path& path);

// Cuts a file made of block-gzip members at their recorded sizes. Throws std::runtime_error
// when a member does not begin with the gzip magic, lacks the size subfield, or records a size
// below the smallest member or past the end of the file.
std::vector<GzipMember> block_gzip_members(std::span<const unsigned char> file);

// Inflates every gzip member of the file in order (block-gzip members by their recorded sizes,
// ordinary members one after another). Throws std::runtime_error for damaged data.
std::vector<unsigned char> inflate_gzip_file(std::span<const unsigned char> file);

// The header fields at the start of a stream; header_size receives 48 + L. Throws
// std::runtime_error when the stream is shorter than its header says.
ZelHeader parse_zel_header(std::span<const unsigned char> stream, std::size_t& header_size);

// Reads a base-call file of any storage. Throws std::runtime_error when it is damaged.
ZelContent read_zel_file(const std::filesystem::path& path);

} // namespace runsim
