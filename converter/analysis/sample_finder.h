#pragma once
// The sample stage of a lane: assigns each spot to one of the lane's samples by its index
// reads, with 0, 1 or 2 allowed mismatches per index, counts the index texts that match no
// sample (undetermined) or several (ambiguous), and builds each spot's UMI text.
//
// A spot's index text is its I1 bases padded with N to the longest Index of the lane,
// followed directly by its I2 bases padded to the longest Index2. With both mismatch settings
// below 2 the text is looked up among the exact and one-substitution keys of every sample;
// with a setting of 2 that index is compared with every sample by edit distance. A sample
// whose indexes hold more bases than the index reads give, beyond the allowed mismatches, can
// never match: it gets no keys and is never compared (a WARN names it).
//
// Usage (lane driver):
//   SampleFinder samples(config, lane);   // builds the key table
//   samples.process_spots(spots);         // per tile: sets Spot::sample and Spot::umi
//   ... samples.undetermined, samples.ambiguous (cumulative over the lane) ...
#include "converter/analysis/index_counts.h"
#include "converter/analysis/levenshtein_pattern_set.h"
#include "converter/analysis/matcher_table.h"
#include "converter/analysis/sample_key_table.h"
#include "converter/app/cycle_range.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class Config;
class Spot;
struct Sample;

class SampleFinder {
public:
    using Counts = IndexCounts;
    using Table = MatcherTable<std::uint16_t>;

    SampleFinder(const Config& config, int lane);

    // Fills index_table from the lane's samples and sets the longest index lengths and which
    // samples can match at all.
    void process_sample_sheet();

    // The stage: sets `sample` and `umi` of every spot and adds to the count maps. Does
    // nothing for a lane without samples.
    void process_spots(std::vector<Spot>& spots);

    // Samples of spots [begin, end) by their index texts; counts go to the given parts.
    void compute_sample_indices(std::vector<Spot>& spots, std::size_t begin, std::size_t end, const CycleRange& i1,
                                const CycleRange& i2, Counts& undetermined_part, Counts& ambiguous_part) const;
    // UMIs of spots [begin, end).
    void compute_umis(std::vector<Spot>& spots, std::size_t begin, std::size_t end, const CycleRange& u1,
                      const CycleRange& u2) const;

    // Appends text and, when mismatches is exactly 1, every text one substitution away by a
    // letter of `bases` (position by position, letters in the order of `bases`).
    void generate_variations(const std::string& text, int mismatches, std::vector<std::string>& out) const;

    // The single sample stored under key; -1 when absent, -2 when several are stored.
    std::int16_t find_sample_hashed(const std::string& key) const;
    // Every sample stored under key (empty when absent).
    std::span<const std::int16_t> find_samples_hashed(const std::string& key) const;
    // Whether the edit distance of index (first) and text (second) is at most max.
    static bool match_levenshtein(Table& table, const std::string& text, const std::string& index, int max);
    // The sample of a spot whose texts are i1 and i2 when a mismatch setting is 2; -1 none, -2 several.
    std::int16_t find_sample_levenshtein(Table& table, const std::string& i1, const std::string& i2) const;

    // Bases first..min(last, read length) of read (1-based cycles and read), N for no-calls,
    // padded with N to pad characters; "" when pad is 0 or less. A read number outside the
    // spot gives N padding only.
    static std::string get_padded_sequence(const Spot& spot, int first, int last, int read, int pad);

    const Config& config;
    int lane;
    int max_index1_length = 0;
    int max_index2_length = 0;
    SampleKeyTable index_table;
    // Per sample: whether its indexes can match any spot's text within the allowed mismatches.
    std::vector<bool> can_match;
    // Per sample, for an index compared by edit distance (setting 2) when every index of the
    // lane fits a pattern; empty otherwise, and the table is used.
    LevenshteinPatternSet index1_patterns;
    LevenshteinPatternSet index2_patterns;
    Counts undetermined;
    Counts ambiguous;

private:
    // Sets can_match: a sample whose indexes hold more bases than the index reads give,
    // beyond the allowed mismatches, can never match (a WARN names it).
    void find_samples_that_can_match(const std::vector<Sample>& samples);
    // The keys of every sample that can match, for the indexes below 2 mismatches: both
    // indexes joined, or the one.
    void fill_index_table(const std::vector<Sample>& samples);
    // Room in index_table for the keys of every sample that can match, by key length.
    void reserve_index_table(const std::vector<Sample>& samples, bool key1, bool key2);
    // Per sample, the pattern of its index (Index or Index2) for a setting of 2 mismatches,
    // none for a sample that can never match; empty for fewer mismatches or an index that no
    // pattern can hold.
    LevenshteinPatternSet index_patterns(const std::vector<Sample>& samples, int mismatches,
                                         const std::string Sample::*index) const;
};
