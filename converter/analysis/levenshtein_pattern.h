#pragma once
// Edit distances (insertions, deletions and substitutions cost 1 each) between one fixed
// text of up to 64 characters, the pattern, and any other text, computed a column at a time
// on bit vectors: a few word operations per character of the other text instead of a table
// fill. The values are those of a MatcherTable fill with the other text as the first and the
// pattern as the second sequence: Global for distance, Semi_global for search.
//
//   LevenshteinPattern pattern(sample_index);       // once per index
//   if (pattern.within(spot_text, 2)) ...           // per comparison
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

class LevenshteinPattern {
public:
    static constexpr std::size_t Max_length = 64;

    // Throws std::length_error for a text longer than Max_length.
    explicit LevenshteinPattern(std::string_view text);

    // 0 to 3 for the letters A, C, G and T, 4 for any other character.
    static int base_code(char c) { return Base_codes[static_cast<unsigned char>(c)]; }

    // The edit distance between the pattern's text and other.
    int distance(std::string_view other) const;
    // Whether that distance is at most max.
    bool within(std::string_view other, int max) const;
    // within(other, max) of every pattern, in order, into out (1 or 0). The columns of eight
    // short patterns, or else of four, advance side by side, which takes little longer than
    // one of them alone.
    static void within_each(std::span<const LevenshteinPattern> patterns, std::string_view other, int max,
                            std::vector<unsigned char>& out);

    // The pattern matched from its first character against other entered anywhere, with D(a, b)
    // the cost of the pattern's first b characters ending after other's first a characters:
    // last_row[a - 1] = D(a, pattern length) for a = 1 .. other's length, and
    // last_column[b] = D(other's length, b) for b = 0 .. pattern length.
    void search(std::string_view other, std::vector<int>& last_row, std::vector<int>& last_column) const;

    // The bit vectors of every column of a search: the differences D(a, b) - D(a, b - 1) for
    // a = 0 .. other's length and D(a, b) - D(a - 1, b) for a = 1 .. other's length, each as
    // a plus and a minus vector (bit b - 1 for row b). Enough to step back from any cell.
    struct Trace {
        std::vector<std::uint64_t> plus;
        std::vector<std::uint64_t> minus;
        std::vector<std::uint64_t> across_plus; // entry 0 unused
        std::vector<std::uint64_t> across_minus;
    };
    // search, keeping the trace as well.
    void search(std::string_view other, std::vector<int>& last_row, std::vector<int>& last_column,
                Trace& trace) const;
    // The walk of MatcherTable::backtrack_levenshtein from other's character i and the
    // pattern's character j (0-based) over the Semi_global table of a traced search of
    // other: the same steps, ties broken alike, so start_other and start_pattern receive the
    // 0-based positions of the first aligned characters as the table's walk gives them.
    void trace_back(const Trace& trace, std::string_view other, int i, int j, int& start_other,
                    int& start_pattern) const;

private:
    static const std::array<unsigned char, 256> Base_codes;

    // Bit i set where the pattern's character i equals c.
    std::uint64_t matches(char c) const;
    // Whether texts of the two lengths can lie within max edits of each other.
    static bool lengths_within(std::size_t length, std::size_t other, int max);

    // within_each of eight patterns of 1 to 8 characters, all in one word.
    static bool fits_lane(const LevenshteinPattern& pattern);
    static void within_eight(const LevenshteinPattern* patterns, std::string_view other, int max,
                             unsigned char* out);

    template <bool Traced>
    void search_columns(std::string_view other, std::vector<int>& last_row, std::vector<int>& last_column,
                        Trace* trace) const;

    std::string_view::size_type length_;
    std::array<char, Max_length> text_{};
    // Match vectors of the letters A, C, G, T and N, the usual index letters.
    std::array<std::uint64_t, 5> letter_matches_{};
};
