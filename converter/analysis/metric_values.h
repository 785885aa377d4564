#pragma once
// The metric values of one library (a sample, a control class, or a total), computed from
// its read and base counts and its length, quality and observed-score histograms.
#include "converter/analysis/match_element.h"
#include "converter/analysis/metric_element.h"

#include <cstdint>
#include <vector>

class MetricValues {
public:
    MetricValues(std::uint64_t bases, std::uint64_t reads, double fraction,
                 const std::vector<std::uint64_t>& length_hist, const std::vector<std::uint64_t>& quality_hist,
                 const std::vector<MatchElement>& matches);

    // Appends "Reads Millions", "Gb", "P25 Read Length", "80% Min Q", "90% Min Q", "80% Q",
    // "90% Q", "Reads Fraction" and, with with_observed, "80% O" and "90% O".
    void get_values(std::vector<MetricElement>& out, bool with_observed) const;

    // The largest value v for which more than percent% of the items have a value of at least
    // v; -1 for an empty histogram.
    static double get_q_top_quantile(const std::vector<std::uint64_t>& hist, int percent);
    // The mean value of the best percent% of the items; 0 for an empty histogram.
    static double get_q_mean_top_quantile(const std::vector<std::uint64_t>& hist, int percent);
    // The observed score (-10 log10 of the error rate, at most 70) of the bases of the
    // quality rows that hold the best percent% of counted bases.
    static double get_o_mean_top_quantile(const std::vector<MatchElement>& matches, int percent);

    double reads_millions = 0;
    double gigabases = 0;
    double p25_read_length = 0;
    double min_q_80 = 0;
    double min_q_90 = 0;
    double mean_q_80 = 0;
    double mean_q_90 = 0;
    double reads_fraction = 0;
    double observed_80 = 0;
    double observed_90 = 0;
};
