#include "converter/analysis/metric_tally.h"

#include "converter/analysis/cigar.h"
#include "converter/analysis/fasta.h"
#include "converter/app/config.h"
#include "converter/pipeline/spot.h"

#include <algorithm>
#include <cstddef>

namespace {

std::size_t num_sample_rows(const Config& config, int lane)
{
    return config.samples_of_lane(lane).size() + 1;
}

// Called lengths run from 0 to the longest a read can be: its cycles less the unused ones.
std::size_t num_lengths(const Config& config, int read)
{
    if (!config.has_read(read))
        return 1;
    return static_cast<std::size_t>(std::max(0, config.read_length(read))) + 1;
}

// A quality index into the tables; qualities above the top row count in the top row.
std::size_t quality_row(unsigned char quality)
{
    return std::min<std::size_t>(quality, MetricTally::Num_qualities - 1);
}

// Qualities of calls take six bits; a read holds others only when built from text.
constexpr std::size_t Call_qualities = 64;
static_assert(Call_qualities <= MetricTally::Num_qualities, "a call's quality has its own row");

// Reads shorter than this are counted base by base: clearing the tables would cost more.
constexpr std::size_t Min_counted_length = 64;

// The read's bases counted by quality (0 for no-calls) into counts. False, with counts
// unusable, for a short read, and when a quality of 64 or more occurs.
bool count_qualities(const unsigned char* qual, std::size_t n, std::uint32_t (&counts)[Call_qualities])
{
    if (n < Min_counted_length || n > 4 * std::size_t(UINT16_MAX - 3))
        return false;
    // Four tables, one per position modulo 4, so that a run of one quality does not make
    // each increment wait for the one before.
    std::uint16_t part[4][Call_qualities] = {};
    unsigned int high = 0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        high |= qual[i] | qual[i + 1] | qual[i + 2] | qual[i + 3];
        ++part[0][qual[i] & 63];
        ++part[1][qual[i + 1] & 63];
        ++part[2][qual[i + 2] & 63];
        ++part[3][qual[i + 3] & 63];
    }
    for (; i < n; ++i) {
        high |= qual[i];
        ++part[0][qual[i] & 63];
    }
    for (std::size_t q = 0; q < Call_qualities; ++q)
        counts[q] = std::uint32_t(part[0][q]) + part[1][q] + part[2][q] + part[3][q];
    return (high & ~63u) == 0;
}

// Adds the called bases of a read to two quality histograms, from its counts when they
// could be made, else base by base.
void add_qualities(std::vector<std::uint64_t>& total, std::vector<std::uint64_t>& row, const unsigned char* qual,
                   std::size_t n, const std::uint32_t (&counts)[Call_qualities], bool counted)
{
    if (counted) {
        for (std::size_t q = 1; q < Call_qualities; ++q) {
            if (counts[q] == 0)
                continue;
            total[q] += counts[q];
            row[q] += counts[q];
        }
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (qual[i] == 0)
            continue;
        const std::size_t q = quality_row(qual[i]);
        total[q] += 1;
        row[q] += 1;
    }
}

void add_match(std::vector<MatchElement>& matches, std::vector<MatchElement>& class_matches, std::size_t q,
               bool matched)
{
    matches[q].total += 1;
    class_matches[q].total += 1;
    if (matched) {
        matches[q].match += 1;
        class_matches[q].match += 1;
    }
}

} // namespace

MetricTally::MetricTally(const Config& config_, const Fasta& fasta_, int lane_, int read_)
    : config(config_), fasta(fasta_), lane(lane_), read(read_)
{
    const std::size_t samples = num_sample_rows(config, lane);
    const std::size_t classes = static_cast<std::size_t>(std::max(0, fasta.get_num_control_classes())) + 1;
    const std::size_t lengths = num_lengths(config, read);
    const auto qualities = static_cast<std::size_t>(Num_qualities);

    sample_reads_by_sample.assign(samples, 0);
    sample_bases_by_sample.assign(samples, 0);
    control_reads_by_class.assign(classes, 0);
    control_bases_by_class.assign(classes, 0);
    control_length_hist.assign(lengths, 0);
    control_quality_hist.assign(qualities, 0);
    control_matches.assign(qualities, MatchElement{});
    sample_length_hist.assign(lengths, 0);
    sample_quality_hist.assign(qualities, 0);
    sample_length_hist_by_sample.assign(samples, std::vector<std::uint64_t>(lengths, 0));
    sample_quality_hist_by_sample.assign(samples, std::vector<std::uint64_t>(qualities, 0));
    control_length_hist_by_class.assign(classes, std::vector<std::uint64_t>(lengths, 0));
    control_quality_hist_by_class.assign(classes, std::vector<std::uint64_t>(qualities, 0));
    control_matches_by_class.assign(classes, std::vector<MatchElement>(qualities, MatchElement{}));
}

void MetricTally::tally_spot(const Spot& spot)
{
    if (read < 1 || static_cast<std::size_t>(read) > spot.reads.size())
        return;
    const SpotRead& sr = spot.reads[static_cast<std::size_t>(read - 1)];
    const std::size_t cls = class_row(sr);

    const std::size_t n = std::min(static_cast<std::size_t>(std::max(0, sr.seq.length)), sr.seq.qual.size());
    const unsigned char* qual = sr.seq.qual.data();
    std::uint32_t counts[Call_qualities];
    const bool counted = count_qualities(qual, n, counts);
    std::uint64_t length = 0;
    if (counted) {
        length = n - counts[0];
    } else {
        for (std::size_t i = 0; i < n; ++i)
            length += qual[i] != 0 ? 1 : 0;
    }
    // A length beyond the histogram (longer than the read's cycles) counts in its top row.
    const std::size_t length_row = std::min<std::size_t>(length, control_length_hist.size() - 1);

    reads += 1;

    if (spot.is_control() == 0 || spot.is_sample()) {
        // A sample position outside the lane's samples counts as undetermined.
        std::size_t row = 0;
        if (spot.sample >= 0 && static_cast<std::size_t>(spot.sample) + 1 < sample_reads_by_sample.size())
            row = static_cast<std::size_t>(spot.sample) + 1;
        sample_reads += 1;
        sample_length_hist[length_row] += 1;
        sample_bases += length;
        sample_reads_by_sample[row] += 1;
        sample_length_hist_by_sample[row][length_row] += 1;
        sample_bases_by_sample[row] += length;
        if (sr.adapter != 0)
            sample_adapter_reads += 1;
        add_qualities(sample_quality_hist, sample_quality_hist_by_sample[row], qual, n, counts, counted);
        return;
    }

    control_reads += 1;
    control_length_hist[length_row] += 1;
    control_bases += length;
    control_reads_by_class[cls] += 1;
    control_length_hist_by_class[cls][length_row] += 1;
    control_bases_by_class[cls] += length;

    if (sr.adapter != 0)
        control_adapter_reads += 1;
    if (sr.far_secondary != 0)
        control_chimera_reads += 1;
    else if (sr.partial != 0 && sr.adapter == 0)
        control_partial_reads += 1;

    add_qualities(control_quality_hist, control_quality_hist_by_class[cls], qual, n, counts, counted);
    if (config.oscores)
        add_observed_scores(sr, cls, n);
}

std::size_t MetricTally::class_row(const SpotRead& sr) const
{
    if (sr.control_index < 0 || static_cast<std::size_t>(sr.control_index) >= fasta.controls.size())
        return 0;
    const int id = static_cast<int>(fasta.controls[static_cast<std::size_t>(sr.control_index)].control_class.first);
    return id >= 0 && static_cast<std::size_t>(id) < control_reads_by_class.size() ? static_cast<std::size_t>(id) : 0;
}

void MetricTally::add_observed_scores(const SpotRead& sr, std::size_t cls, std::size_t n)
{
    // The observed-score walk pairs each cigar element with the read bases it covers, from
    // the base the first element covers; only a read that aligned itself has a cigar of
    // this spot, and bases past the read's end are never read.
    if (sr.control == 0 || sr.adapter != 0 || sr.far_secondary != 0 || sr.partial != 0)
        return;
    const unsigned char* qual = sr.seq.qual.data();
    std::vector<MatchElement>& class_matches = control_matches_by_class[cls];
    long p = std::max(0, sr.cigar_start);
    const auto end = static_cast<long>(n);
    for (const std::uint16_t element : sr.cigar.elements) {
        if (p >= end)
            break;
        const int op = Cigar::op_of(element);
        const long count = Cigar::length_of(element);
        if (op == Cigar::M || op == Cigar::I || op == Cigar::X) {
            const long stop = std::min(p + count, end);
            for (long i = p; i < stop; ++i)
                add_match(control_matches, class_matches, quality_row(qual[i]), op == Cigar::M);
            p += count;
        } else if (op == Cigar::N) {
            p += count;
        }
    }
}

void MetricTally::sum_metrics(const MetricTally& other)
{
    reads += other.reads;
    control_reads += other.control_reads;
    control_bases += other.control_bases;
    sample_reads += other.sample_reads;
    sample_bases += other.sample_bases;
    sum_vectors(sample_reads_by_sample, other.sample_reads_by_sample);
    sum_vectors(sample_bases_by_sample, other.sample_bases_by_sample);
    sum_vectors(control_reads_by_class, other.control_reads_by_class);
    sum_vectors(control_bases_by_class, other.control_bases_by_class);
    sum_vectors(control_length_hist, other.control_length_hist);
    sum_vectors(control_quality_hist, other.control_quality_hist);
    sum_vectors(control_matches, other.control_matches);
    sum_vectors(sample_length_hist, other.sample_length_hist);
    sum_vectors(sample_quality_hist, other.sample_quality_hist);
    sum_vectors(sample_length_hist_by_sample, other.sample_length_hist_by_sample);
    sum_vectors(sample_quality_hist_by_sample, other.sample_quality_hist_by_sample);
    sum_vectors(control_length_hist_by_class, other.control_length_hist_by_class);
    sum_vectors(control_quality_hist_by_class, other.control_quality_hist_by_class);
    sum_vectors(control_matches_by_class, other.control_matches_by_class);
    control_adapter_reads += other.control_adapter_reads;
    control_chimera_reads += other.control_chimera_reads;
    control_partial_reads += other.control_partial_reads;
    sample_adapter_reads += other.sample_adapter_reads;
}

// Tallies of one lane and read have equal sizes; a shorter destination grows rather than
// dropping counts.
void MetricTally::sum_vectors(std::vector<std::uint64_t>& to, const std::vector<std::uint64_t>& from)
{
    if (to.size() < from.size())
        to.resize(from.size(), 0);
    for (std::size_t i = 0; i < from.size(); ++i)
        to[i] += from[i];
}

void MetricTally::sum_vectors(std::vector<MatchElement>& to, const std::vector<MatchElement>& from)
{
    if (to.size() < from.size())
        to.resize(from.size(), MatchElement{});
    for (std::size_t i = 0; i < from.size(); ++i) {
        to[i].match += from[i].match;
        to[i].total += from[i].total;
    }
}

void MetricTally::sum_vectors(std::vector<std::vector<std::uint64_t>>& to,
                              const std::vector<std::vector<std::uint64_t>>& from)
{
    if (to.size() < from.size())
        to.resize(from.size());
    for (std::size_t i = 0; i < from.size(); ++i)
        sum_vectors(to[i], from[i]);
}

void MetricTally::sum_vectors(std::vector<std::vector<MatchElement>>& to,
                              const std::vector<std::vector<MatchElement>>& from)
{
    if (to.size() < from.size())
        to.resize(from.size());
    for (std::size_t i = 0; i < from.size(); ++i)
        sum_vectors(to[i], from[i]);
}
