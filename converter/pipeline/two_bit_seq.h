#pragma once
// A base sequence packed two bits per base (A 0, C 1, G 2, T 3; base i in bits
// 2*(i%4)..2*(i%4)+1 of byte i/4) with one quality byte per base; quality 0 is a no-call,
// printed as 'N'. The packed buffer always has the padding the minimizer code reads past
// the data (a multiple of 32 bytes plus 3). Buffers are reused while a new length fits.
//
// Invariant: length <= capacity, packed holds packed_size(capacity) bytes and qual holds
// capacity bytes once buffers exist (a default-built or moved-from sequence has none, with
// length and capacity 0). The writers of a whole sequence (pack_sequence, copy,
// copy_reverse_complement) leave the padding bytes after the data of the current length
// zero.
//
// The buffers are the sequence's own, or lie in storage of the caller's (attach), such as
// one block for every read of a tile.
#include <cstddef>
#include <memory>
#include <span>
#include <string>

class TwoBitSeq {
public:
    TwoBitSeq() = default;
    explicit TwoBitSeq(int n);
    explicit TwoBitSeq(const std::string& bases);
    // Deep copies: exactly ceil(length / 4) packed bytes and length qualities are copied.
    TwoBitSeq(const TwoBitSeq& other);
    TwoBitSeq& operator=(const TwoBitSeq& other);
    // Moves take the buffers and leave the source empty (no buffers, length and capacity 0).
    TwoBitSeq(TwoBitSeq&& other) noexcept;
    TwoBitSeq& operator=(TwoBitSeq&& other) noexcept;
    ~TwoBitSeq() = default;

    // Sets the length; the buffers are reallocated (zeroed bases, qualities 1) only when n
    // exceeds the capacity. A negative n throws std::invalid_argument.
    void resize(int n);
    // Takes storage_size(n) bytes at storage, which the caller keeps for this sequence alone,
    // as the buffers for n bases (length and capacity n, contents as they are there); own
    // buffers are freed. A resize beyond n gives the sequence buffers of its own again.
    void attach(unsigned char* storage, int n);
    void copy(const TwoBitSeq& other);
    void copy_reverse_complement(const TwoBitSeq& other);

    // From length call bytes (quality * 4 + base).
    void pack_sequence(const unsigned char* calls);
    // From length letters; anything but A, C, G, T (either case) is stored as A. A string
    // shorter than length throws std::out_of_range.
    void pack_sequence(const std::string& bases);

    // Letters (or qualities + 33) of bases start..start+count-1; count 0 means length.
    // Throw std::runtime_error for a slice outside the sequence.
    void seq_to_string(std::string& out, int start = 0, int count = 0) const;
    void qual_to_string(std::string& out, int start = 0, int count = 0) const;

    // Write length letters (or qualities + 33) into buffer; throw std::runtime_error
    // "seq buffer is out of bounds: seq_size= " + length when they do not fit into size.
    int get_sequence_data(char* buffer, int size) const;
    int get_quality_data(char* buffer, int size) const;

    // The two-bit code of base i, and setting it without touching its neighbours.
    int get_base(int i) const { return (packed[static_cast<std::size_t>(i) >> 2] >> (2 * (i & 3))) & 3; }
    void set_base(int i, int code)
    {
        unsigned char& byte = packed[static_cast<std::size_t>(i) >> 2];
        byte = static_cast<unsigned char>((byte & ~(3 << (2 * (i & 3)))) | ((code & 3) << (2 * (i & 3))));
    }

    // Padding bytes a packed buffer of n bases needs beyond its ceil(n / 4) data bytes, so
    // that the buffer is a multiple of 32 bytes plus 3 and every 16-byte load of the
    // minimizer scan stays inside.
    static int get_sequence_padding(int n) { return ((32 - (n + 3) / 4 % 32) % 32) + 3; }
    // Bytes of the packed buffer for n bases: ceil(n / 4) plus get_sequence_padding(n).
    static std::size_t packed_size(int n);
    // Bytes of both buffers for n bases.
    static std::size_t storage_size(int n) { return packed_size(n) + static_cast<std::size_t>(n); }

    std::span<unsigned char> packed;
    std::span<unsigned char> qual;
    int length = 0;
    int capacity = 0;

private:
    // Frees the buffers and allocates them for n bases: bases zeroed, qualities 1.
    void allocate(int n);
    // Zeroes the padding bytes after the ceil(length / 4) data bytes.
    void zero_padding();

    std::unique_ptr<unsigned char[]> owned_; // both buffers, when the sequence owns them
};

// The reverse complement of a base string, upper case; anything but A, C, G, T gives N.
std::string reverse_complement(const std::string& bases);
