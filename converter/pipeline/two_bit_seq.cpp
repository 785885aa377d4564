#include "converter/pipeline/two_bit_seq.h"

#include "converter/analysis/minimizers.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

// Codes of the letters 'A' .. 't' (index letter - 'A'): A/a 0, C/c 1, G/g 2, T/t 3, every
// other letter 4.
constexpr std::array<unsigned char, 52> letter_code_table = [] {
    std::array<unsigned char, 52> table{};
    for (auto& code : table)
        code = 4;
    table['A' - 'A'] = 0;
    table['a' - 'A'] = 0;
    table['C' - 'A'] = 1;
    table['c' - 'A'] = 1;
    table['G' - 'A'] = 2;
    table['g' - 'A'] = 2;
    table['T' - 'A'] = 3;
    table['t' - 'A'] = 3;
    return table;
}();

constexpr char base_letters[] = "ACGTN";

// The code of a character: letter_code_table inside 'A' .. 't', else 4.
inline int letter_code(char c)
{
    const int index = static_cast<unsigned char>(c) - 'A';
    return index >= 0 && index < static_cast<int>(letter_code_table.size()) ? letter_code_table[index] : 4;
}

// The code stored for a character when packing text: anything but A, C, G, T is A.
constexpr std::array<unsigned char, 256> pack_code_table = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 'A'; c <= 't'; ++c)
        table[c] = letter_code_table[c - 'A'] == 4 ? 0 : letter_code_table[c - 'A'];
    return table;
}();

// The four letters of every packed byte, first base first.
constexpr std::array<std::array<char, 4>, 256> byte_letters = [] {
    std::array<std::array<char, 4>, 256> table{};
    for (int b = 0; b < 256; ++b)
        for (int k = 0; k < 4; ++k)
            table[b][k] = base_letters[(b >> (2 * k)) & 3];
    return table;
}();

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
    return data_bytes(n) + static_cast<std::size_t>(Minimizers::get_sequence_padding(n));
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
    : packed(std::move(other.packed)), qual(std::move(other.qual)), length(other.length), capacity(other.capacity)
{
    other.packed.clear();
    other.qual.clear();
    other.length = 0;
    other.capacity = 0;
}

TwoBitSeq& TwoBitSeq::operator=(TwoBitSeq&& other) noexcept
{
    if (this != &other) {
        packed = std::move(other.packed);
        qual = std::move(other.qual);
        length = other.length;
        capacity = other.capacity;
        other.packed.clear();
        other.qual.clear();
        other.length = 0;
        other.capacity = 0;
    }
    return *this;
}

void TwoBitSeq::allocate(int n)
{
    // assign() drops the old contents; both buffers end up holding exactly what n needs.
    packed.assign(packed_size(n), 0);
    qual.assign(static_cast<std::size_t>(n), 1);
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
    out.clear();
    out.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int b = start + i;
        out[static_cast<std::size_t>(i)] = qual[static_cast<std::size_t>(b)] == 0 ? 'N' : base_letters[get_base(b)];
    }
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
    const int n = length;
    const unsigned char* const bytes = packed.data();
    const int full = n >> 2;
    for (int j = 0; j < full; ++j)
        std::memcpy(buffer + 4 * j, byte_letters[bytes[j]].data(), 4);
    for (int i = 4 * full; i < n; ++i)
        buffer[i] = base_letters[get_base(i)];
    const unsigned char* const q = qual.data();
    for (int i = 0; i < n; ++i)
        buffer[i] = q[i] == 0 ? 'N' : buffer[i];
    return n;
}

int TwoBitSeq::get_quality_data(char* buffer, int size) const
{
    if (length > size)
        throw_buffer_error(length);
    const int n = length;
    const unsigned char* const q = qual.data();
    for (int i = 0; i < n; ++i)
        buffer[i] = static_cast<char>(q[i] + 33);
    return n;
}

std::string reverse_complement(const std::string& bases)
{
    std::string result(bases.size(), 'N');
    const std::size_t n = bases.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int code = letter_code(bases[n - 1 - i]);
        result[i] = code == 4 ? 'N' : base_letters[3 - code];
    }
    return result;
}
