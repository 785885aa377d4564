#pragma once
// Counts: the statistics of one read (track) of one tile, and, summed, of one read of a lane:
// reads, bases, lengths and qualities on the sample and control paths, by sample ID and by
// control class, and the control error statistics.
#include "classic/framework/histograms.h"

#include <cstdint>
#include <map>
#include <string>

class Counts {
public:
    // Every counter zero; the named classes' and samples' read and base entries zero. The other
    // map entries and the histograms are left as they are.
    void initialize(const std::map<std::string, bool>& classes, const std::map<std::string, bool>& samples);

    // Adds from's counts into into, key by key.
    static void add(classic::QualityHistogram& into, const classic::QualityHistogram& from);
    static void add(classic::LengthHistogram& into, const classic::LengthHistogram& from);

    std::uint64_t reads = 0;
    std::uint64_t sample_reads = 0;
    std::uint64_t sample_bases = 0;
    std::uint64_t control_reads = 0;
    std::uint64_t control_bases = 0;
    std::map<std::string, std::uint64_t> control_reads_by_class;
    std::map<std::string, std::uint64_t> control_bases_by_class;
    std::map<std::string, std::uint64_t> sample_reads_by_id;
    std::map<std::string, std::uint64_t> sample_bases_by_id;
    std::uint64_t chimeras = 0;
    std::uint64_t right_adapters = 0;
    std::uint64_t indels = 0;
    std::uint64_t keyless_spots = 0;
    classic::LengthHistogram sample_lengths;
    classic::LengthHistogram control_lengths;
    classic::QualityHistogram sample_qualities;
    classic::QualityHistogram control_qualities;
    classic::ErrorHistogram quality_errors;
    std::map<std::string, classic::LengthHistogram> control_lengths_by_class;
    std::map<std::string, classic::LengthHistogram> sample_lengths_by_id;
    std::map<std::string, classic::QualityHistogram> control_qualities_by_class;
    std::map<std::string, classic::QualityHistogram> sample_qualities_by_id;
    std::map<std::string, classic::ErrorHistogram> quality_errors_by_class;
};
