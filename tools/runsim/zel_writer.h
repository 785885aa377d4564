#pragma once
// Writes base-call files (.zel).
//
// The stream of a base-call file is a header of six little-endian 64-bit fields (file type 42,
// version, spots, cycles per record, extra cycles at the end of each record, text length L),
// L bytes of text, then the call bytes spot by spot: byte = quality * 4 + base (A 0, C 1, G 2,
// T 3), quality 0 meaning no call. Versions 3 and 4 store that stream as gzip: as block-gzip
// members (common/block_gzip.h) each holding a fixed amount of the stream, or as one ordinary
// gzip member. Versions 1 and 2 store it plainly, the calls as two blocks after the header:
// spots x cycles base letters (A, C, G, T, N for quality 0), then spots x cycles quality values.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace runsim {

inline constexpr std::uint64_t Zel_file_type = 42;
inline constexpr std::size_t Zel_fixed_header_size = 48;

enum class ZelStorage { BlockGzip, Gzip, Plain };

// "block-gzip", "gzip", "plain".
std::string_view storage_name(ZelStorage storage);
// The storage named by the text; throws std::invalid_argument for any other text.
ZelStorage parse_storage(std::string_view text);

struct ZelHeader {
    std::uint64_t type = Zel_file_type;
    std::uint64_t version = 4;
    std::uint64_t spots = 0;
    std::uint64_t cycles = 0;
    std::uint64_t extra_cycles = 0;
    std::string text;
};

struct ZelWriteOptions {
    ZelStorage storage = ZelStorage::BlockGzip;
    std::size_t member_text_size = std::size_t(1) << 20; // stream bytes per block-gzip member
    int level = 1;                                       // compression level
};

struct ZelFileStats {
    std::uint64_t file_bytes = 0;   // size on disk
    std::uint64_t stream_bytes = 0; // header, text and calls (the inflated size for gzip)
    std::uint64_t members = 0;      // gzip members (0 for plain files)
};

// The header and text as they begin the stream (48 + L bytes).
std::vector<unsigned char> zel_header_bytes(const ZelHeader& header);

// The version a storage is written with unless asked otherwise: 4 for gzip, 2 for plain.
std::uint64_t default_version(ZelStorage storage);

// Writes one base-call file: the header, then the calls as given. The count of calls is not
// checked against the header, so that damaged files can be written on purpose. Block-gzip
// members are compressed in parallel. Throws std::runtime_error when the file cannot be written.
ZelFileStats write_zel_file(const std::filesystem::path& path, const ZelHeader& header,
                            std::span<const unsigned char> calls, const ZelWriteOptions& options);

// Writes the bytes of head followed by those of body as block-gzip members of member_text_size
// bytes of text each (the last one shorter). Throws std::runtime_error.
ZelFileStats write_block_gzip_file(const std::filesystem::path& path, std::span<const unsigned char> head,
                                   std::span<const unsigned char> body, std::size_t member_text_size, int level);

// Writes the bytes unchanged. Throws std::runtime_error.
void write_bytes(const std::filesystem::path& path, std::span<const unsigned char> bytes);

} // namespace runsim
