#include "converter/pipeline/spot.h"

#include <stdexcept>
#include <string>

void Spot::init(int num_reads)
{
    if (num_reads < 0)
        throw std::invalid_argument("Spot read count must not be negative: " + std::to_string(num_reads));
    reads.resize(static_cast<std::size_t>(num_reads));
    valid = true;
    sample = -1;
    umi.clear();
}

int Spot::is_control() const
{
    for (const SpotRead& read : reads)
        if (read.control != 0)
            return read.control;
    return 0;
}
