#pragma once
// One FASTQ output of a lane for one sample and read.
#include "common/gz_file.h"

#include <string>

struct Demux {
    int sample = -1; // position of the sample row, -1 undetermined
    int read = 0;    // 1-based position of the read among the run's reads
    std::string file_name;
    GzFile file = nullptr;
};
