#include "converter/pipeline/spot_block.h"

#include "converter/pipeline/two_bit_seq.h"

void SpotBlock::lay_out(std::size_t spots, const std::vector<int>& lengths)
{
    offsets_.clear();
    stride_ = 0;
    for (int length : lengths) {
        offsets_.push_back(stride_);
        stride_ += TwoBitSeq::storage_size(length);
    }
    const std::size_t size = spots * stride_;
    if (size > capacity_) {
        bytes_.reset(); // freed before the larger buffer is taken
        bytes_ = std::make_unique_for_overwrite<unsigned char[]>(size);
        capacity_ = size;
    }
}
