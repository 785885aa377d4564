#pragma once
// The spot validation stage (every read of a spot must have read 1's position) and the
// test mutation behind --mutate.
#include "converter/pipeline/spot.h"
#include "converter/pipeline/two_bit_seq.h"

#include <random>
#include <vector>

class Config;

class SpotValidator {
public:
    // Reads num_reads (and nothing else) from the configuration, which must outlive this.
    explicit SpotValidator(const Config& run_config) : config(&run_config) {}
    explicit SpotValidator(const Config* run_config) : config(run_config) {}

    // Marks invalid every spot whose reads 2..n disagree with read 1 in x or y; a parallel
    // loop over the spots (grain 1, automatic partitioning). Nothing for no spots.
    void validate_spots(std::vector<Spot>& spots) const;
    void validate_spot_range(std::vector<Spot>& spots, int begin, int end) const;

    // Mutates every read of every spot (read 1 first, then spot by spot) with a fresh
    // minstd_rand0 seeded with 1, so every tile receives the same draws; returns the number
    // of mutations, 0 when the run has no reads. Draws from std::rand(); calling thread only.
    int mutate_spots(std::vector<Spot>& spots) const;

private:
    const Config* config;
};

// The test mutation of one sequence, in place, length and qualities unchanged: at each
// position a draw of 1 from dist makes a mutation (a base A, C or G from std::rand() that
// differs from the source base), an insertion when u * 2^-31 > rate for u = std::rand(),
// else a substitution. Returns the number of mutations.
int mutate(TwoBitSeq& seq, double rate, std::minstd_rand0& engine, std::uniform_int_distribution<int>& dist);
