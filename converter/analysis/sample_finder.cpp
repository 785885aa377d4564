#include "converter/analysis/sample_finder.h"

#include "common/base_code.h"
#include "converter/app/config.h"
#include "converter/app/logger.h"
#include "converter/pipeline/parallel_ranges.h"
#include "converter/pipeline/spot.h"

#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

std::size_t to_size(int i)
{
    return static_cast<std::size_t>(i);
}

bool configured(const CycleRange& range)
{
    return range.read >= 1;
}

// last - first + 1, never negative and never beyond the int range.
int range_length(const CycleRange& range)
{
    const long long length = static_cast<long long>(range.last) - range.first + 1;
    return static_cast<int>(std::clamp<long long>(length, 0, std::numeric_limits<int>::max()));
}

// Appends bases first..min(last, read length) of the read (1-based cycles and read; N for a
// no-call) and then N until out has grown by pad characters. Nothing for a pad of 0 or less;
// a read the spot does not have gives padding only.
void append_padded_sequence(std::string& out, const Spot& spot, int first, int last, int read, int pad)
{
    if (pad <= 0)
        return;
    const std::size_t start = out.size();
    if (read >= 1 && to_size(read) <= spot.reads.size()) {
        const TwoBitSeq& seq = spot.reads[to_size(read - 1)].seq;
        const int from = std::max(first, 1) - 1;
        const int to = std::min(last, seq.length);
        for (int b = from; b < to; ++b)
            out.push_back(seq.qual[to_size(b)] == 0 ? 'N' : base_code::Letters[seq.get_base(b)]);
    }
    const std::size_t written = out.size() - start;
    if (written < to_size(pad))
        out.append(to_size(pad) - written, 'N');
}

// The longest text a range can give with the given pad: the pad, or the range's bases,
// which never exceed the cycles of its read when these are known.
int longest_text(const Config& config, const CycleRange& range, int pad)
{
    if (!configured(range))
        return pad;
    int length = range_length(range);
    if (config.has_read(range.read))
        length = std::min(length, config.read_cycles(range.read));
    return std::max(length, pad);
}

// The most bases a spot's text can take from the range: none when it is not configured, else
// its cycles that the read holds, when these are known.
int range_bases(const Config& config, const CycleRange& range)
{
    if (!configured(range))
        return 0;
    int length = range_length(range);
    if (config.has_read(range.read))
        length = std::clamp(config.read_length(range.read) - std::max(range.first, 1) + 1, 0, length);
    return length;
}

int letters_other_than_n(const std::string& index)
{
    return static_cast<int>(index.size()) - static_cast<int>(std::count(index.begin(), index.end(), 'N'));
}

// How many texts generate_variations gives for text: 1, and with 1 mismatch one more for
// every letter of bases other than each character.
std::size_t variation_count(const std::string& text, int mismatches, const std::string& bases)
{
    std::size_t count = 1;
    if (mismatches == 1)
        for (const char c : text)
            count += bases.size() - static_cast<std::size_t>(std::count(bases.begin(), bases.end(), c));
    return count;
}

using List = std::span<const std::int16_t>;

// How one index read tells how often a sample is on its list of matching samples.
enum class Occurrence {
    Unused,  // no text: every sample, once
    Walked,  // the stored list that is walked: each of its entries, once
    Stored,  // a stored list walked for the other read: as often as the list holds the sample
    Found,   // from the distances to every sample, found at once
    Pattern, // by the sample's pattern
    Table,   // by a table fill
};

struct IndexRead {
    Occurrence occurrence;
    List list; // stored under the read's text
    const LevenshteinPatternSet& patterns;
    const std::string& text;
    int max; // mismatches allowed
};

// How each of the two index reads of a spot tells whether a sample is on its list. A sample
// matches when it is on the list of every read in use: the stored list of a keyed read is
// walked, and only its samples are compared, so the result equals intersecting the two lists
// while most spots need one comparison. When every sample is considered, the first read's
// distances to all of them are found at once.
std::pair<Occurrence, Occurrence> occurrences_of(bool use1, bool use2, bool stored1, bool stored2,
                                                 const LevenshteinPatternSet& patterns1,
                                                 const LevenshteinPatternSet& patterns2)
{
    const auto compared = [](const LevenshteinPatternSet& patterns) {
        return patterns.empty() ? Occurrence::Table : Occurrence::Pattern;
    };
    Occurrence occurrence1 = compared(patterns1);
    if (!use1)
        occurrence1 = Occurrence::Unused;
    else if (stored1)
        occurrence1 = Occurrence::Walked;
    else if (!stored2 && !patterns1.empty())
        occurrence1 = Occurrence::Found;
    Occurrence occurrence2 = compared(patterns2);
    if (!use2)
        occurrence2 = Occurrence::Unused;
    else if (stored2)
        occurrence2 = stored1 ? Occurrence::Stored : Occurrence::Walked;
    return {occurrence1, occurrence2};
}

// How often sample p, with that read's index, is on the read's list; first_within holds the
// distances found at once.
std::size_t times_on_list(const IndexRead& read, std::int16_t p, const std::string& index, SampleFinder::Table& table,
                          const std::vector<unsigned char>& first_within)
{
    switch (read.occurrence) {
    case Occurrence::Unused:
    case Occurrence::Walked:
        return 1;
    case Occurrence::Stored:
        return static_cast<std::size_t>(std::count(read.list.begin(), read.list.end(), p));
    case Occurrence::Found:
        return first_within[to_size(p)];
    case Occurrence::Pattern:
        return read.patterns.within(to_size(p), read.text, read.max) ? 1 : 0;
    case Occurrence::Table:
        break;
    }
    return SampleFinder::match_levenshtein(table, read.text, index, read.max) ? 1 : 0;
}

} // namespace

SampleFinder::SampleFinder(const Config& config_, int lane_) : config(config_), lane(lane_)
{
    process_sample_sheet();
}

void SampleFinder::process_sample_sheet()
{
    const std::vector<Sample>& samples = config.samples_of_lane(lane);
    // Spot::sample holds a sample's position in 16 bits, with -1 and -2 as markers.
    if (samples.size() > to_size(std::numeric_limits<std::int16_t>::max()))
        throw std::length_error("Lane " + std::to_string(lane) + " has " + std::to_string(samples.size()) +
                                " samples; at most " + std::to_string(std::numeric_limits<std::int16_t>::max()) +
                                " are supported");

    max_index1_length = 0;
    max_index2_length = 0;
    for (const Sample& sample : samples) {
        max_index1_length = std::max(max_index1_length, static_cast<int>(sample.Index.size()));
        max_index2_length = std::max(max_index2_length, static_cast<int>(sample.Index2.size()));
    }
    find_samples_that_can_match(samples);
    fill_index_table(samples);
    index1_patterns = index_patterns(samples, config.I1Mismatches, &Sample::Index);
    index2_patterns = index_patterns(samples, config.I2Mismatches, &Sample::Index2);
}

void SampleFinder::find_samples_that_can_match(const std::vector<Sample>& samples)
{
    const int m1 = config.I1Mismatches;
    const int m2 = config.I2Mismatches;
    // A spot's text holds at most bases1 letters other than N from the I1 read (the rest is N
    // padding), and bases2 from the I2 read. Every letter of an index beyond those, apart from
    // the allowed mismatches, is a difference: such a sample never matches any spot.
    const int bases1 = range_bases(config, config.I1_range);
    const int bases2 = range_bases(config, config.I2_range);
    can_match.assign(samples.size(), true);
    for (std::size_t p = 0; p < samples.size(); ++p) {
        const int excess1 = letters_other_than_n(samples[p].Index) - m1 - bases1;
        const int excess2 = letters_other_than_n(samples[p].Index2) - m2 - bases2;
        const bool never = m1 < 2 && m2 < 2
                               ? excess1 + excess2 > 0
                               : (max_index1_length > 0 && excess1 > 0) || (max_index2_length > 0 && excess2 > 0);
        if (!never)
            continue;
        can_match[p] = false;
        log_warn() << "Sample '" << samples[p].Biosample << "' of lane " << lane
                   << " can never be assigned: its Index of " << samples[p].Index.size() << " and Index2 of "
                   << samples[p].Index2.size() << " bases exceed the " << bases1 << " and " << bases2
                   << " bases of the index reads by more than the allowed mismatches";
    }
}

void SampleFinder::fill_index_table(const std::vector<Sample>& samples)
{
    const int m1 = config.I1Mismatches;
    const int m2 = config.I2Mismatches;
    // Keys that the route looks up: both indexes joined, or the one below 2 mismatches.
    const bool key1 = m1 < 2;
    const bool key2 = m2 < 2;
    index_table.clear();
    reserve_index_table(samples, key1, key2);

    std::vector<std::string> variations1;
    std::vector<std::string> variations2;
    std::string key;
    for (std::size_t p = 0; p < samples.size(); ++p) {
        if (!can_match[p])
            continue;
        const Sample& sample = samples[p];
        const auto position = static_cast<std::int16_t>(p);
        variations1.clear();
        variations2.clear();
        if (key1)
            generate_variations(sample.Index, m1, variations1);
        if (key2)
            generate_variations(sample.Index2, m2, variations2);

        if (key1 && key2) {
            for (const std::string& v1 : variations1)
                for (const std::string& v2 : variations2) {
                    key.assign(v1).append(v2);
                    index_table.add(key, position);
                }
        } else if (key1) {
            for (const std::string& v1 : variations1)
                index_table.add(v1, position);
        } else if (key2) {
            for (const std::string& v2 : variations2)
                index_table.add(v2, position);
        }
    }
}

void SampleFinder::reserve_index_table(const std::vector<Sample>& samples, bool key1, bool key2)
{
    const int m1 = config.I1Mismatches;
    const int m2 = config.I2Mismatches;
    std::size_t short_keys = 0;
    std::size_t long_keys = 0;
    for (std::size_t p = 0; p < samples.size(); ++p) {
        if (!can_match[p] || !(key1 || key2))
            continue;
        const Sample& sample = samples[p];
        const std::size_t keys = (key1 ? variation_count(sample.Index, m1, config.bases) : 1) *
                                 (key2 ? variation_count(sample.Index2, m2, config.bases) : 1);
        const std::size_t letters = (key1 ? sample.Index.size() : 0) + (key2 ? sample.Index2.size() : 0);
        (letters <= IndexKey::Letters_per_word ? short_keys : long_keys) += keys;
    }
    index_table.reserve(short_keys, IndexKey::Letters_per_word);
    index_table.reserve(long_keys, IndexKey::Max_letters);
}

LevenshteinPatternSet SampleFinder::index_patterns(const std::vector<Sample>& samples, int mismatches,
                                                   const std::string Sample::*index) const
{
    // Indexes compared by edit distance get bit-vector patterns when all of them fit one;
    // samples that never match are never compared.
    bool fit = true;
    for (std::size_t p = 0; p < samples.size(); ++p)
        fit = fit && (!can_match[p] || (samples[p].*index).size() <= LevenshteinPattern::Max_length);
    std::vector<std::string_view> texts;
    if (mismatches >= 2 && fit)
        for (std::size_t p = 0; p < samples.size(); ++p)
            texts.push_back(can_match[p] ? std::string_view(samples[p].*index) : std::string_view());
    return LevenshteinPatternSet(texts);
}

void SampleFinder::process_spots(std::vector<Spot>& spots)
{
    if (config.samples_of_lane(lane).empty())
        return;

    // One chunk per thread, each with its own count maps; these are merged below, so
    // the number of chunks changes no result and is bounded by what can run at once.
    const std::size_t n = spots.size();
    const int concurrency = std::max(1, tbb::this_task_arena::max_concurrency());
    long long chunks = config.threads > 0 ? config.threads : concurrency;
    chunks = std::min<long long>({chunks, static_cast<long long>(n), concurrency});
    chunks = std::max<long long>(chunks, 1);
    const auto t = static_cast<std::size_t>(chunks);

    const double step = static_cast<double>(n) / static_cast<double>(t);
    const auto chunk_begin = [&](std::size_t c) {
        return std::min(n, static_cast<std::size_t>(static_cast<double>(c) * step));
    };
    const auto chunk_end = [&](std::size_t c) { return c + 1 == t ? n : chunk_begin(c + 1); };

    std::vector<Counts> undetermined_parts(t);
    std::vector<Counts> ambiguous_parts(t);
    parallel_ranges(t, [&](int begin, int end) {
        const auto first = to_size(begin);
        compute_sample_indices(spots, chunk_begin(first), chunk_end(to_size(end - 1)), config.I1_range, config.I2_range,
                               undetermined_parts[first], ambiguous_parts[first]);
    });

    if (configured(config.U1_range) || configured(config.U2_range))
        parallel_ranges(n, [&](int begin, int end) {
            compute_umis(spots, to_size(begin), to_size(end), config.U1_range, config.U2_range);
        });

    for (std::size_t c = 0; c < t; ++c) {
        undetermined.add(undetermined_parts[c]);
        ambiguous.add(ambiguous_parts[c]);
    }
}

void SampleFinder::compute_sample_indices(std::vector<Spot>& spots, std::size_t begin, std::size_t end,
                                          const CycleRange& i1, const CycleRange& i2, Counts& undetermined_part,
                                          Counts& ambiguous_part) const
{
    const bool levenshtein = config.I1Mismatches >= 2 || config.I2Mismatches >= 2;
    std::string s1;
    std::string s2;
    std::string key;

    if (!levenshtein) {
        for (std::size_t s = begin; s < end; ++s) {
            Spot& spot = spots[s];
            key.clear();
            append_padded_sequence(key, spot, i1.first, i1.last, i1.read, max_index1_length);
            append_padded_sequence(key, spot, i2.first, i2.last, i2.read, max_index2_length);
            const std::int16_t r = find_sample_hashed(key);
            if (r == -1)
                undetermined_part.add(key);
            else if (r == -2)
                ambiguous_part.add(key);
            spot.sample = r >= 0 ? r : -1;
        }
        return;
    }

    const int size =
        std::max({longest_text(config, i1, max_index1_length), longest_text(config, i2, max_index2_length), 1});
    Table table(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(size));
    for (std::size_t s = begin; s < end; ++s) {
        Spot& spot = spots[s];
        s1.clear();
        s2.clear();
        append_padded_sequence(s1, spot, i1.first, i1.last, i1.read, max_index1_length);
        append_padded_sequence(s2, spot, i2.first, i2.last, i2.read, max_index2_length);
        const std::int16_t r = find_sample_levenshtein(table, s1, s2);
        if (r < 0) {
            key.assign(s1).append(s2);
            (r == -1 ? undetermined_part : ambiguous_part).add(key);
        }
        spot.sample = r >= 0 ? r : -1;
    }
}

void SampleFinder::compute_umis(std::vector<Spot>& spots, std::size_t begin, std::size_t end, const CycleRange& u1,
                                const CycleRange& u2) const
{
    // Without a U1 read the UMI stays empty; U2 is then not read either.
    const int length1 = configured(u1) ? range_length(u1) : 0;
    const bool second = length1 >= 1 && configured(u2) && u2.last >= u2.first;
    for (std::size_t s = begin; s < end; ++s) {
        Spot& spot = spots[s];
        spot.umi.clear();
        append_padded_sequence(spot.umi, spot, u1.first, u1.last, u1.read, length1);
        if (second) {
            spot.umi.push_back('+');
            append_padded_sequence(spot.umi, spot, u2.first, u2.last, u2.read, length1);
        }
    }
}

void SampleFinder::generate_variations(const std::string& text, int mismatches, std::vector<std::string>& out) const
{
    out.push_back(text);
    if (mismatches != 1)
        return;
    for (std::size_t i = 0; i < text.size(); ++i)
        for (char letter : config.bases) {
            if (letter == text[i])
                continue;
            std::string variation = text;
            variation[i] = letter;
            out.push_back(std::move(variation));
        }
}

std::int16_t SampleFinder::find_sample_hashed(const std::string& key) const
{
    const std::span<const std::int16_t> found = index_table.find(key);
    if (found.empty())
        return -1;
    return found.size() == 1 ? found.front() : std::int16_t{-2};
}

std::span<const std::int16_t> SampleFinder::find_samples_hashed(const std::string& key) const
{
    return index_table.find(key);
}

bool SampleFinder::match_levenshtein(Table& table, const std::string& text, const std::string& index, int max)
{
    // The distance is at least the difference of the lengths.
    const auto difference = index.size() > text.size() ? index.size() - text.size() : text.size() - index.size();
    if (max < 0 || difference > to_size(max))
        return false;
    const auto length1 = static_cast<std::uint32_t>(index.size());
    const auto length2 = static_cast<std::uint32_t>(text.size());
    if (length1 > table.max_length1() || length2 > table.max_length2()) {
        const std::uint32_t size = std::max({length1, length2, table.max_length1(), table.max_length2()});
        table = Table(size, size);
    }
    table.populate_levenshtein(index.data(), text.data(), length1, length2, Table::Global);
    return table.get_distance(length1, length2) <= max;
}

std::int16_t SampleFinder::find_sample_levenshtein(Table& table, const std::string& i1, const std::string& i2) const
{
    const std::vector<Sample>& samples = config.samples_of_lane(lane);
    const int m1 = config.I1Mismatches;
    const int m2 = config.I2Mismatches;
    const bool use1 = !i1.empty();
    const bool use2 = !i2.empty();
    if (!use1 && !use2)
        return -1;

    // A read below 2 mismatches has its one-substitution keys in the table; the other is
    // compared by edit distance.
    const bool stored1 = use1 && m1 < 2;
    const bool stored2 = use2 && m2 < 2;
    const auto [occurrence1, occurrence2] =
        occurrences_of(use1, use2, stored1, stored2, index1_patterns, index2_patterns);
    const IndexRead read1{occurrence1, stored1 ? find_samples_hashed(i1) : List(), index1_patterns, i1, m1};
    const IndexRead read2{occurrence2, stored2 ? find_samples_hashed(i2) : List(), index2_patterns, i2, m2};

    thread_local std::vector<unsigned char> first_within;
    if (read1.occurrence == Occurrence::Found)
        index1_patterns.within_each(i1, m1, first_within);

    std::size_t matches = 0;
    std::int16_t found = -1;
    const auto consider = [&](std::int16_t p) {
        if (!can_match[to_size(p)])
            return;
        const Sample& sample = samples[to_size(p)];
        const std::size_t first = times_on_list(read1, p, sample.Index, table, first_within);
        if (first == 0)
            return;
        const std::size_t both = first * times_on_list(read2, p, sample.Index2, table, first_within);
        if (both != 0) {
            matches += both;
            found = p;
        }
    };
    if (read1.occurrence == Occurrence::Walked)
        for (std::int16_t p : read1.list)
            consider(p);
    else if (read2.occurrence == Occurrence::Walked)
        for (std::int16_t p : read2.list)
            consider(p);
    else
        for (std::size_t p = 0; p < samples.size(); ++p)
            consider(static_cast<std::int16_t>(p));
    return matches == 0 ? -1 : matches == 1 ? found : std::int16_t{-2};
}

std::string SampleFinder::get_padded_sequence(const Spot& spot, int first, int last, int read, int pad)
{
    std::string out;
    append_padded_sequence(out, spot, first, last, read, pad);
    return out;
}
