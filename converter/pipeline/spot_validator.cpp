#include "converter/pipeline/spot_validator.h"

#include "converter/app/config.h"
#include "converter/pipeline/parallel_ranges.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

void SpotValidator::validate_spots(std::vector<Spot>& spots) const
{
    parallel_ranges(spots.size(), [&](int begin, int end) { validate_spot_range(spots, begin, end); });
}

void SpotValidator::validate_spot_range(std::vector<Spot>& spots, int begin, int end) const
{
    const int num_reads = config->num_reads;
    begin = std::max(begin, 0);
    end = std::min(end, static_cast<int>(spots.size()));
    for (int s = begin; s < end; ++s) {
        Spot& spot = spots[static_cast<std::size_t>(s)];
        const int n = std::min(num_reads, static_cast<int>(spot.reads.size()));
        if (n < 2)
            continue;
        const SpotRead& first = spot.reads[0];
        for (int r = 1; r < n; ++r) {
            const SpotRead& read = spot.reads[static_cast<std::size_t>(r)];
            if (read.x != first.x || read.y != first.y) {
                spot.valid = false;
                break;
            }
        }
    }
}

int SpotValidator::mutate_spots(std::vector<Spot>& spots) const
{
    const int num_reads = config->num_reads;
    if (num_reads <= 0)
        return 0;
    std::minstd_rand0 engine(1);
    std::uniform_int_distribution<int> dist(0, 10);
    int count = 0;
    for (int r = 0; r < num_reads; ++r)
        for (Spot& spot : spots)
            if (r < static_cast<int>(spot.reads.size()))
                count += mutate(spot.reads[static_cast<std::size_t>(r)].seq, 0.0, engine, dist);
    return count;
}

int mutate(TwoBitSeq& seq, double rate, std::minstd_rand0& engine, std::uniform_int_distribution<int>& dist)
{
    const int n = seq.length;
    // The source bases as they were; one buffer per thread, reused.
    thread_local std::vector<unsigned char> source;
    source.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        source[static_cast<std::size_t>(i)] = static_cast<unsigned char>(seq.get_base(i));

    constexpr float two_to_minus_31 = 1.0f / 2147483648.0f;
    int count = 0;
    int s = 0; // source position; never passes the output position
    for (int o = 0; o < n; ++o) {
        int base;
        if (dist(engine) == 1) {
            const int u = std::rand();
            const int source_base = source[static_cast<std::size_t>(s)];
            int r;
            do
                r = std::rand();
            while (r % 3 == source_base);
            base = r % 3;
            if (!(static_cast<float>(u) * two_to_minus_31 > rate))
                ++s; // substitution; otherwise an insertion, and the source base waits
            ++count;
        } else {
            base = source[static_cast<std::size_t>(s)];
            ++s;
        }
        seq.set_base(o, base);
    }
    return count;
}
