#pragma once
// One cluster of a tile: a read per read of the run, its sample and UMI.
#include "converter/pipeline/spot_read.h"

#include <cstdint>
#include <string>
#include <vector>

class Spot {
public:
    // num_reads reads; valid, no sample, no UMI.
    void init(int num_reads);
    // The control byte of the first read that aligned to a control, else 0.
    int is_control() const;
    bool is_sample() const { return sample >= 0; }

    bool valid = true;
    std::int16_t sample = -1; // position among the lane's samples, -1 for none
    std::vector<SpotRead> reads;
    std::string umi;
};
