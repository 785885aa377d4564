#pragma once
// Base-call bytes for spot-model tests: quality in the upper six bits, base in the lower two.
#include "converter/pipeline/two_bit_seq.h"

#include <string>
#include <vector>

namespace call_bytes {

inline unsigned char call(int base, int quality)
{
    return static_cast<unsigned char>(quality << 2 | base);
}

// The calls of a base string ("ACGT", N as base A with quality 0) with the given quality.
inline std::vector<unsigned char> calls_of(const std::string& bases, int quality = 30)
{
    std::vector<unsigned char> calls;
    for (char c : bases) {
        const auto pos = std::string("ACGT").find(c);
        calls.push_back(call(pos == std::string::npos ? 0 : static_cast<int>(pos), c == 'N' ? 0 : quality));
    }
    return calls;
}

// The letters of a sequence, N where the quality is 0.
inline std::string letters(const TwoBitSeq& seq)
{
    std::string out;
    seq.seq_to_string(out);
    return out;
}

} // namespace call_bytes
