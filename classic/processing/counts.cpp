#include "classic/processing/counts.h"

void Counts::initialize(const std::map<std::string, bool>& classes, const std::map<std::string, bool>& samples)
{
    reads = sample_reads = sample_bases = control_reads = control_bases = 0;
    chimeras = right_adapters = indels = keyless_spots = 0;
    for (const auto& [name, used] : classes) {
        control_reads_by_class[name] = 0;
        control_bases_by_class[name] = 0;
    }
    for (const auto& [name, used] : samples) {
        sample_reads_by_id[name] = 0;
        sample_bases_by_id[name] = 0;
    }
}

void Counts::add(classic::QualityHistogram& into, const classic::QualityHistogram& from)
{
    for (const auto& [key, count] : from)
        into[key] += count;
}

void Counts::add(classic::LengthHistogram& into, const classic::LengthHistogram& from)
{
    for (const auto& [key, count] : from)
        into[key] += count;
}
