#pragma once
// Minimizers of packed base sequences: for every run of four consecutive k-mers starting at a
// multiple of four (window m covers the k-mers at bases 4m .. 4m+3), the smallest k-mer value
// and the base position of that k-mer; among equal values the earliest position wins.
//
// A k-mer's value holds its k bases two bits each (A 0, C 1, G 2, T 3), its first base in the
// lowest two bits. The arrays are sized once for the longest sequence the object accepts and
// reused for every sequence; impossible parameters end the run (message on standard error and
// in the log, exit status 255).
#include <cstdint>
#include <vector>

class Minimizers {
public:
    // Ends the process with "K must be >= W" when w > k.
    Minimizers(int max_length, int w, int k);

    // Computes blocks, bytes, count and the first count values and positions, in window order,
    // for the length bases of packed (a buffer with TwoBitSeq::get_sequence_padding(length)
    // bytes of padding). Ends the process when length > max_length, w is not 4 or k > 12.
    void compute_quick(const unsigned char* packed, int length);

    std::int32_t blocks = 0;     // 128-base blocks of the last sequence
    std::int32_t bytes = 0;      // packed bytes of the last sequence
    std::int32_t count = 0;      // minimizers of the last sequence; can be negative (none)
    std::int32_t max_length = 0; // longest sequence accepted
    std::int32_t w = 0;          // window, always 4 when computing
    std::int32_t k = 0;          // k-mer length, w .. 12
    std::int32_t capacity = 0;   // entries of each array: ceil(max_length / 4) rounded up to 32
    std::vector<std::uint32_t> values;
    std::vector<std::uint32_t> positions;
};
