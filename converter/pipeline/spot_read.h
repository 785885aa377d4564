#pragma once
// One read of one spot: its bases and qualities, its position, and what the analysis
// stages found (control alignment, adapter, far secondary).
#include "converter/analysis/cigar.h"
#include "converter/pipeline/two_bit_seq.h"

#include <cstdint>

class SpotRead {
public:
    // Sets the position, clears the results (the cigar keeps its capacity), packs length
    // call bytes and drops the trailing run of no-calls.
    void init(int length, const unsigned char* calls, short x, short y);

    TwoBitSeq seq;
    std::int16_t x = 0;
    std::int16_t y = 0;
    Cigar cigar;
    int cigar_start = 0; // read base that the cigar's first element covers
    std::uint8_t adapter = 0;
    std::uint8_t far_secondary = 0;
    std::uint8_t control = 0;
    std::uint8_t partial = 0;
    std::int16_t control_index = -1;
};
