#pragma once
// Block-gzip members: ordinary gzip members (RFC 1952) whose header carries one extra
// subfield, identifiers 'B' and 'S', holding the member's total size. A file of such
// members can be cut into members by reading headers only, so members can be inflated
// in parallel. Layout of a member of n bytes (little-endian fields):
//   0  1F 8B 08 04      magic, deflate, FEXTRA only
//   4  00 00 00 00      no modification time
//   8  00 0A            XFL 0, OS 10
//   10 08 00            XLEN 8
//   12 'B' 'S' 04 00    subfield identifiers and data length
//   16 n (u32)          member size, header and trailer included
//   20 ...              raw deflate data
//   n-8 CRC-32, n-4 ISIZE (text length modulo 2^32)
#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace block_gzip {

inline constexpr std::size_t Header_size = 20;
inline constexpr std::size_t Trailer_size = 8;
inline constexpr std::size_t Min_member_size = Header_size + Trailer_size;
inline constexpr int Default_level = 6;
// Deflate never expands text by more than about 1032 to 1; an ISIZE beyond that is garbage.
inline constexpr std::uint64_t Max_expansion = 1032;

// True when the bytes begin with the gzip magic 1F 8B.
bool has_gzip_magic(const unsigned char* bytes, std::size_t size);

// The member size recorded in a block-gzip header (at least Header_size bytes), or 0 when
// the header carries no 'B','S' subfield.
std::uint32_t recorded_member_size(const unsigned char* header);

// The ISIZE field of a whole member (the last four bytes).
std::uint32_t recorded_text_size(const unsigned char* member, std::size_t member_size);

// A whole member that holds no text: the header with its size subfield, one empty final
// deflate block and the trailer. A file of this member alone is a valid, empty gzip file.
std::vector<unsigned char> empty_member();

// Writes block-gzip members. One compressor per thread.
class Compressor {
public:
    // Throws std::runtime_error "ERROR: zng_deflateInit2() failed" when the level is not
    // supported or the compressor cannot be allocated.
    explicit Compressor(int level = Default_level);
    ~Compressor();
    Compressor(Compressor&& other) noexcept;
    Compressor& operator=(Compressor&& other) noexcept;
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    // Upper bound on the size of the member that holds text_size bytes of text.
    std::size_t bound(std::size_t text_size) const;

    // Compresses the text into one member at the start of out, which is grown to the bound
    // when smaller and never shrunk. Returns the member size. Throws std::runtime_error
    // "ERROR: zng_deflate() failed" when the member cannot be built.
    std::size_t compress(const void* text, std::size_t text_size, std::vector<char>& out);
    std::size_t compress(const void* text, std::size_t text_size, std::vector<unsigned char>& out);

    // As above into a caller's buffer of at least bound(text_size) bytes.
    std::size_t compress(const void* text, std::size_t text_size, void* out, std::size_t capacity);

private:
    libdeflate_compressor* compressor_ = nullptr;
};

// Inflates whole gzip members. One decompressor per thread.
class Decompressor {
public:
    Decompressor();
    ~Decompressor();
    Decompressor(Decompressor&& other) noexcept;
    Decompressor& operator=(Decompressor&& other) noexcept;
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    // Inflates the member (header to trailer, nothing after it) into exactly text_size bytes.
    // False unless the deflate data is sound, the whole member is used, the text fills
    // text_size exactly and CRC-32 and ISIZE match.
    bool inflate(const void* member, std::size_t member_size, void* text, std::size_t text_size);

private:
    libdeflate_decompressor* decompressor_ = nullptr;
};

} // namespace block_gzip
