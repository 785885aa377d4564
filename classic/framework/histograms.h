#pragma once
// Summary statistics of the quality and length histograms of the classic metrics, and the
// builders that fill them from per-spot values.
#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace classic {

using QualityHistogram = std::map<unsigned char, std::uint64_t>;
using LengthHistogram = std::map<short, std::uint64_t>;
// A count per quality value, for tallying the bases of a tile as they are read.
using QualityTally = std::array<std::uint64_t, 256>;
// Per quality: (bases agreeing with the control, bases compared).
using ErrorHistogram = std::map<unsigned char, std::pair<std::uint64_t, std::uint64_t>>;

// The first quality at which the running share of the counts reaches f; 0 when none.
double get_min_q(const QualityHistogram& h, double f);
// The count-weighted mean quality of the keys whose running share is at least f.
double get_q(const QualityHistogram& h, double f);
// The first length at which the running count reaches total * f; 0 when none.
double get_rl(const LengthHistogram& h, double f);
// -10 log10 of the error rate over the keys whose running share of compared bases is at least
// f; 70 when there is no error.
double get_o(const ErrorHistogram& h, double f);

// Empties h, then counts every value.
void load_counts(const std::vector<unsigned char>& values, QualityHistogram& h);
void load_counts(const std::vector<short>& values, LengthHistogram& h);
// Empties h, then enters every quality the tally counted.
void load_counts(const QualityTally& tally, QualityHistogram& h);

} // namespace classic
