#include "converter/pipeline/two_bit_seq.h"

#include "common/base_code.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

using base_code::Letters;

// The code stored for a character when packing text: anything but A, C, G, T is A.
constexpr std::array<unsigned char, 256> pack_code_table = [] {
    std::array<unsigned char, 256> table = base_code::Codes;
    for (unsigned char& code : table)
        code = code == 4 ? 0 : code;
    return table;
}();

// The letters of bases start .. start + count - 1 of packed bases, 'N' where the quality is 0.
void write_letters(const unsigned char* packed, const unsigned char* qual, int start, int count, char* out)
{
    const auto letter = [&](int b) { return qual[b] == 0 ? 'N' : Letters[(packed[b >> 2] >> (2 * (b & 3))) & 3]; };
    int i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101ULL;
        constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
        // One at a time up to the first base of a packed byte, then eight at a time from two
        // packed bytes, each base's letter in its own byte.
        for (; i < count && ((start + i) & 3) != 0; ++i)
            out[i] = letter(start + i);
        for (; i + 8 <= count; i += 8) {
            const int b = start + i;
            // Codes 0..3 into bytes 0..7: the bytes' nibbles apart, then the nibbles' pairs.
            std::uint64_t codes = packed[b >> 2] | std::uint64_t(packed[(b >> 2) + 1]) << 32;
            codes = (codes | codes << 12) & 0x000F000F000F000FULL;
            codes = (codes | codes << 6) & 0x0303030303030303ULL;
            // A 65, C 67, G 71, T 84: 65 + 2 code + 2 (code >= 2) + 11 (code == 3).
            const std::uint64_t high = (codes >> 1) & ones;
            std::uint64_t letters = 0x4141414141414141ULL + (codes << 1) + (high << 1) + 11 * (high & codes);
            // 'N' where the quality is 0.
            std::uint64_t quality;
            std::memcpy(&quality, qual + b, 8);
            const std::uint64_t zero = ~(((quality & low7) + low7) | quality) & 0x8080808080808080ULL;
            const std::uint64_t mask = (zero >> 7) * 0xFF;
            letters = (letters & ~mask) | (0x4E4E4E4E4E4E4E4EULL & mask);
            std::memcpy(out + i, &letters, 8);
        }
    }
    for (; i < count; ++i)
        out[i] = letter(start + i);
}

inline std::size_t data_bytes(int n)
{
    return (static_cast<std::size_t>(n) + 3) >> 2;
}

[[noreturn]] void throw_slice_error(const char* what, const char* of, long long start, long long end, int length)
{
    throw std::runtime_error(std::string(what) + " [" + std::to_string(start) + " , " + std::to_string(end) + " ]" +
                             " is out of bounds for " + of + " of length " + std::to_string(length));
}

[[noreturn]] void throw_buffer_error(int length)
{
    throw std::runtime_error("seq buffer is out of bounds: seq_size= " + std::to_string(length));
}

} // namespace

std::size_t TwoBitSeq::packed_size(int n)
{
    return data_bytes(n) + static_cast<std::size_t>(get_sequence_padding(n));
}

TwoBitSeq::TwoBitSeq(int n)
{
    resize(n);
}

TwoBitSeq::TwoBitSeq(const std::string& bases)
{
    resize(static_cast<int>(bases.size()));
    pack_sequence(bases);
}

TwoBitSeq::TwoBitSeq(const TwoBitSeq& other)
{
    copy(other);
}

TwoBitSeq& TwoBitSeq::operator=(const TwoBitSeq& other)
{
    copy(other);
    return *this;
}

TwoBitSeq::TwoBitSeq(TwoBitSeq&& other) noexcept
    : packed(std::exchange(other.packed, {})), qual(std::exchange(other.qual, {})),
      length(std::exchange(other.length, 0)), capacity(std::exchange(other.capacity, 0)),
      owned_(std::move(other.owned_))
{
}

TwoBitSeq& TwoBitSeq::operator=(TwoBitSeq&& other) noexcept
{
    if (this != &other) {
        packed = std::exchange(other.packed, {});
        qual = std::exchange(other.qual, {});
        length = std::exchange(other.length, 0);
        capacity = std::exchange(other.capacity, 0);
        owned_ = std::move(other.owned_);
    }
    return *this;
}

void TwoBitSeq::allocate(int n)
{
    // The old buffers are dropped; the new ones hold exactly what n needs.
    auto storage = std::make_unique_for_overwrite<unsigned char[]>(storage_size(n));
    attach(storage.get(), n);
    owned_ = std::move(storage);
    std::memset(packed.data(), 0, packed.size());
    std::memset(qual.data(), 1, qual.size());
}

void TwoBitSeq::attach(unsigned char* storage, int n)
{
    if (n < 0)
        throw std::invalid_argument("TwoBitSeq length must not be negative: " + std::to_string(n));
    owned_.reset();
    const std::size_t packed_bytes = packed_size(n);
    packed = {storage, packed_bytes};
    qual = {storage + packed_bytes, static_cast<std::size_t>(n)};
    length = n;
    capacity = n;
}

void TwoBitSeq::zero_padding()
{
    const std::size_t begin = data_bytes(length);
    std::memset(packed.data() + begin, 0, packed_size(length) - begin);
}

void TwoBitSeq::resize(int n)
{
    if (n < 0)
        throw std::invalid_argument("TwoBitSeq length must not be negative: " + std::to_string(n));
    if (!packed.empty() && n <= capacity) {
        length = n;
        return;
    }
    allocate(n);
}

void TwoBitSeq::copy(const TwoBitSeq& other)
{
    if (this == &other)
        return;
    const int n = other.length;
    resize(n);
    if (n > 0) {
        std::memcpy(packed.data(), other.packed.data(), data_bytes(n));
        std::memcpy(qual.data(), other.qual.data(), static_cast<std::size_t>(n));
    }
    zero_padding();
}

void TwoBitSeq::copy_reverse_complement(const TwoBitSeq& other)
{
    if (this == &other) {
        const TwoBitSeq source(other);
        copy_reverse_complement(source);
        return;
    }
    const int n = other.length;
    resize(n);
    for (int i = 0; i < n; ++i) {
        set_base(i, 3 - other.get_base(n - 1 - i));
        qual[static_cast<std::size_t>(i)] = other.qual[static_cast<std::size_t>(n - 1 - i)];
    }
    zero_padding();
}

void TwoBitSeq::pack_sequence(const unsigned char* calls)
{
    // Only a sequence whose public fields were set by hand lacks the buffers for length.
    if (packed.size() < packed_size(length) || qual.size() < static_cast<std::size_t>(length))
        allocate(length);

    const int n = length;
    unsigned char* const out = packed.data();
    unsigned char* const q = qual.data();
    int i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight calls at a time: their qualities by one shift and mask, their bases folded
        // into two bytes (base k of the word, at bit 8k, moves to bit 2k of its byte).
        for (; i + 8 <= n; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, calls + i, 8);
            const std::uint64_t qualities = (word >> 2) & 0x3F3F3F3F3F3F3F3FULL;
            std::memcpy(q + i, &qualities, 8);
            std::uint64_t bases = word & 0x0303030303030303ULL;
            bases |= bases >> 6;  // byte k: b[k] | b[k+1] << 2
            bases |= bases >> 12; // byte k: b[k] | b[k+1] << 2 | b[k+2] << 4 | b[k+3] << 6
            out[i >> 2] = static_cast<unsigned char>(bases);
            out[(i >> 2) + 1] = static_cast<unsigned char>(bases >> 32);
        }
    }
    for (; i < n; i += 4) {
        const int m = n - i < 4 ? n - i : 4;
        unsigned int byte = 0;
        for (int k = 0; k < m; ++k) {
            const unsigned char call = calls[i + k];
            byte |= static_cast<unsigned int>(call & 3) << (2 * k);
            q[i + k] = static_cast<unsigned char>(call >> 2);
        }
        out[i >> 2] = static_cast<unsigned char>(byte);
    }
    zero_padding();
}

void TwoBitSeq::pack_sequence(const std::string& bases)
{
    if (bases.size() < static_cast<std::size_t>(length))
        throw std::out_of_range("pack_sequence: " + std::to_string(bases.size()) +
                                " letters for a sequence of length " + std::to_string(length));
    if (packed.size() < packed_size(length) || qual.size() < static_cast<std::size_t>(length))
        allocate(length);

    const int n = length;
    unsigned char* const out = packed.data();
    for (int i = 0; i < n; i += 4) {
        const int m = n - i < 4 ? n - i : 4;
        unsigned int byte = 0;
        for (int k = 0; k < m; ++k)
            byte |= static_cast<unsigned int>(pack_code_table[static_cast<unsigned char>(bases[i + k])]) << (2 * k);
        out[i >> 2] = static_cast<unsigned char>(byte);
    }
    if (n > 0)
        std::memset(qual.data(), 1, static_cast<std::size_t>(n));
    zero_padding();
}

void TwoBitSeq::seq_to_string(std::string& out, int start, int count) const
{
    if (count == 0)
        count = length;
    const long long end = static_cast<long long>(start) + count;
    if (start < 0 || count < 0 || end > length)
        throw_slice_error("Sequence slice", "sequence", start, end, length);
    out.resize(static_cast<std::size_t>(count));
    write_letters(packed.data(), qual.data(), start, count, out.data());
}

void TwoBitSeq::qual_to_string(std::string& out, int start, int count) const
{
    if (count == 0)
        count = length;
    const long long end = static_cast<long long>(start) + count;
    if (start < 0 || start >= length || count < 0 || end > length)
        throw_slice_error("Quality slice", "quality sequence", start, end, length);
    out.clear();
    out.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<char>(qual[static_cast<std::size_t>(start + i)] + 33);
}

int TwoBitSeq::get_sequence_data(char* buffer, int size) const
{
    if (length > size)
        throw_buffer_error(length);
    write_letters(packed.data(), qual.data(), 0, length, buffer);
    return length;
}

int TwoBitSeq::get_quality_data(char* buffer, int size) const
{
    if (length > size)
        throw_buffer_error(length);
    const int n = length;
    const unsigned char* const q = qual.data();
    int i = 0;
    // Eight at a time: 33 is added to every byte of a word, each byte modulo 256 on its own.
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr std::uint64_t top = 0x8080808080808080ULL;
    constexpr std::uint64_t offset = 0x2121212121212121ULL;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, q + i, 8);
        word = ((word & low7) + offset) ^ (word & top);
        std::memcpy(buffer + i, &word, 8);
    }
    for (; i < n; ++i)
        buffer[i] = static_cast<char>(q[i] + 33);
    return n;
}

std::string reverse_complement(const std::string& bases)
{
    std::string result(bases.size(), 'N');
    const std::size_t n = bases.size();
    for (std::size_t i = 0; i < n; ++i)
        result[i] = base_code::complement_of(bases[n - 1 - i]);
    return result;
}
