#pragma once
// A list of edit-distance patterns, made once and then compared with many texts, each text
// with all of them at once (within_each) or with one of them (within). within_each advances
// the columns of several patterns side by side, which takes little longer than one of them
// alone: eight patterns of 1 to 8 characters share one word, a byte each, with their letter
// vectors laid out when the set is made; other patterns go four at a time, a word each.
//
//   LevenshteinPatternSet indexes(sample_indexes);   // once per lane
//   indexes.within_each(spot_text, 2, found);        // per spot: found[p] for pattern p
//
// Read only once made: many threads may compare texts with one set at once.
#include "converter/analysis/levenshtein_pattern.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

class LevenshteinPatternSet {
public:
    LevenshteinPatternSet() = default;
    // A pattern of every text, in order. Throws std::length_error for a text longer than
    // LevenshteinPattern::Max_length.
    explicit LevenshteinPatternSet(std::span<const std::string_view> texts);

    bool empty() const { return patterns_.empty(); }
    std::size_t size() const { return patterns_.size(); }

    // Whether pattern p lies within max edits of other.
    bool within(std::size_t p, std::string_view other, int max) const { return patterns_[p].within(other, max); }
    // within(p, other, max) of every pattern, in order, into out (1 or 0).
    void within_each(std::string_view other, int max, std::vector<unsigned char>& out) const;

private:
    static constexpr std::size_t Group_size = 8;
    // Eight patterns of 1 to 8 characters, one to a byte: the match vectors of the letters A,
    // C, G, T and N, and the bits that the patterns' characters take.
    struct LaneGroup {
        std::array<std::uint64_t, 5> letters{};
        std::uint64_t own_bits = 0;
    };

    void within_eight(std::size_t first, const LaneGroup& group, std::string_view other, int max,
                      unsigned char* out) const;
    void within_four(std::size_t first, std::string_view other, int max, unsigned char* out) const;

    std::vector<LevenshteinPattern> patterns_;
    // Per eight patterns from the first on: their lanes, when all of them fit one.
    std::vector<std::optional<LaneGroup>> groups_;
};
