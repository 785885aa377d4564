#pragma once
// One buffer for the bases and qualities of every read of every spot of a tile: unpacking a
// tile into spots then allocates nothing once the buffer has been sized for the largest
// tile, and a spot's reads lie next to each other.
#include <cstddef>
#include <memory>
#include <vector>

class SpotBlock {
public:
    // Lays the buffer out for spots spots with reads of the given lengths; it grows, never
    // shrinks. Earlier storage is no longer valid afterwards.
    void lay_out(std::size_t spots, const std::vector<int>& lengths);
    // The storage of one read of one spot: TwoBitSeq::storage_size(length) bytes.
    unsigned char* storage(std::size_t spot, std::size_t read)
    {
        return bytes_.get() + spot * stride_ + offsets_[read];
    }

private:
    std::unique_ptr<unsigned char[]> bytes_;
    std::size_t capacity_ = 0;
    std::size_t stride_ = 0;           // bytes per spot
    std::vector<std::size_t> offsets_; // per read, within a spot
};
