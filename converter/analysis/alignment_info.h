#pragma once
// The result of aligning one read to one reference of an index. The control aligner keeps one
// per reference and hands the best one to its caller; the adapter aligner reuses the structure
// for adapter matches (its chains, hits, coverage and cigar stay empty).
//
// A hit packs the reference position in bits 0-31, the reference id in bits 32-39 and the
// position of the minimizer in the read in bits 40-63.
#include "converter/analysis/cigar.h"

#include <cstdint>
#include <vector>

class AlignmentInfo {
public:
    // Resets every field but far_secondary (which each alignment sets); the lists keep their
    // capacity.
    void clear();

    Cigar cigar;
    std::int32_t ref_id = -1;       // the reference's position in the index
    std::int32_t query_start = -1;  // first read base of the aligned window
    std::int32_t ref_start = -1;    // first reference base of the aligned window
    std::int32_t length = 0;        // bases in the window; above 0 when the reference aligned
    std::int32_t distance = -1;     // edit distance of the window (full alignment only)
    double coverage = 0;            // share of the read spanned by the best chain, at most 1
    std::uint8_t far_secondary = 0; // the second chain lies far from the best one
    // Chains of hits, each sorted by reference position; the largest first.
    std::vector<std::vector<std::uint64_t>> chains;
    // Every hit of the read on this reference.
    std::vector<std::uint64_t> hits;
};

namespace hit_bits {
inline std::uint32_t ref_position(std::uint64_t hit)
{
    return static_cast<std::uint32_t>(hit);
}
inline int ref_id(std::uint64_t hit)
{
    return static_cast<int>((hit >> 32) & 0xFF);
}
inline std::uint32_t query_position(std::uint64_t hit)
{
    return static_cast<std::uint32_t>(hit >> 40);
}
} // namespace hit_bits
