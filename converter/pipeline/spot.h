#pragma once
// One cluster of a tile: a read per read of the run, its sample and UMI.
#include "converter/pipeline/spot_read.h"

#include <cstddef>
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

// The spots of a tile, their read objects and their bases lie in three different places, so
// a stage that walks the spots in order waits on memory at every spot, and memory is slow to
// answer while the other threads compress. Called at spot s of a walk that ends before spot
// end, these ask early for what a later spot will need: its read objects Objects_ahead spots
// ahead, and one read's bases (and qualities) Bases_ahead spots ahead, once its object is in:
// the first for walks that touch every read of a spot, the second for a stage that handles
// one read at a time. Each call carries the gain measured for it; where asking ahead gained
// nothing measurable it is not done.
// They are inlined by force: the compiler takes a function that only prefetches for one
// without effect and drops its calls.
inline constexpr std::size_t Objects_ahead = 32;
inline constexpr std::size_t Bases_ahead = 16;

[[gnu::always_inline]] inline void prefetch_spot_reads(const std::vector<Spot>& spots, std::size_t s, std::size_t end)
{
    if (s + Objects_ahead >= end)
        return;
    const std::vector<SpotRead>& reads = spots[s + Objects_ahead].reads;
    const auto* first = reinterpret_cast<const char*>(reads.data());
    const auto* last = reinterpret_cast<const char*>(reads.data() + reads.size());
    for (const char* line = first; line < last; line += 64)
        __builtin_prefetch(line);
}

[[gnu::always_inline]] inline void prefetch_spot_read(const std::vector<Spot>& spots, std::size_t s, std::size_t end,
                                                      std::size_t read, bool qualities = false)
{
    if (s + Objects_ahead < end && read < spots[s + Objects_ahead].reads.size()) {
        const auto* object = reinterpret_cast<const char*>(spots[s + Objects_ahead].reads.data() + read);
        __builtin_prefetch(object);
        __builtin_prefetch(object + sizeof(SpotRead) - 1);
    }
    if (s + Bases_ahead < end && read < spots[s + Bases_ahead].reads.size()) {
        const TwoBitSeq& seq = spots[s + Bases_ahead].reads[read].seq;
        const unsigned char* begin = seq.packed.data();
        const unsigned char* stop = qualities ? seq.qual.data() + seq.qual.size() : begin + seq.packed.size();
        for (const unsigned char* line = begin; line < stop; line += 64)
            __builtin_prefetch(line);
        __builtin_prefetch(stop - 1);
    }
}
