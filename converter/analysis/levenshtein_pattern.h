#pragma once
// Edit distances (insertions, deletions and substitutions cost 1 each) between one fixed
// text of up to 64 characters, the pattern, and any other text, computed a column at a time
// on bit vectors: a few word operations per character of the other text instead of a table
// fill. The values are those of a MatcherTable fill with the other text as the first and the
// pattern as the second sequence: Global for distance, Semi_global for search.
//
//   LevenshteinPattern pattern(sample_index);       // once per index
//   if (pattern.within(spot_text, 2)) ...           // per comparison
//
// Many patterns against the same texts: LevenshteinPatternSet.
#include "common/base_code.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

class LevenshteinPattern {
public:
    static constexpr std::size_t Max_length = 64;

    // Throws std::length_error for a text longer than Max_length.
    explicit LevenshteinPattern(std::string_view text);

    // 0 to 3 for the letters A, C, G and T, 4 for any other character.
    static int base_code(char c) { return base_code::Upper_case_codes[static_cast<unsigned char>(c)]; }
    // 0 to 4 for the letters A, C, G, T and N, the usual index letters; -1 for any other.
    static int letter_position(char c)
    {
        const int position = base_code::Letter_positions[static_cast<unsigned char>(c)];
        return position == base_code::Not_a_letter ? -1 : position;
    }

    std::size_t length() const { return length_; }
    // Bit i set where the pattern's character i equals c. Inline whole: a call on the rare
    // path alone makes the loops that step several patterns side by side markedly slower.
    std::uint64_t matches(char c) const
    {
        const unsigned char letter = base_code::Letter_positions[static_cast<unsigned char>(c)];
        if (letter != base_code::Not_a_letter) [[likely]]
            return letter_matches_[letter];
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < length_; ++i)
            if (text_[i] == c)
                bits |= std::uint64_t(1) << i;
        return bits;
    }
    // Whether texts of the two lengths can lie within max edits of each other.
    static bool lengths_within(std::size_t length, std::size_t other, int max)
    {
        // The distance is at least the difference of the lengths.
        const std::size_t difference = other > length ? other - length : length - other;
        return max >= 0 && difference <= static_cast<std::size_t>(max);
    }

    // The edit distance between the pattern's text and other.
    int distance(std::string_view other) const;
    // Whether that distance is at most max.
    bool within(std::string_view other, int max) const;

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
    void search(std::string_view other, std::vector<int>& last_row, std::vector<int>& last_column, Trace& trace) const;
    // The walk of MatcherTable::backtrack_levenshtein from other's character i and the
    // pattern's character j (0-based) over the Semi_global table of a traced search of
    // other: the same steps, ties broken alike, so start_other and start_pattern receive the
    // 0-based positions of the first aligned characters as the table's walk gives them.
    void trace_back(const Trace& trace, std::string_view other, int i, int j, int& start_other,
                    int& start_pattern) const;

    // The columns of the table D(i, j) (pattern prefix i against other prefix j) as vertical
    // differences D(i, j) - D(i - 1, j), each +1, 0 or -1, in the bit vectors plus and minus,
    // with the last row's value in score. entry is the horizontal difference entering row 1:
    // 1 when row 0 holds D(0, j) = j, 0 when it holds D(0, j) = 0.
    //
    // step is the column step of G. Myers, "A fast bit-vector algorithm for approximate string
    // matching based on dynamic programming", Journal of the ACM 46(3):395-415, 1999, with
    // its pattern as the rows; entry 1 makes it the edit distance of two whole texts.
    //
    // Bits above the pattern's length are never cleared: sums carry and shifts move only
    // upwards, so whatever they hold never reaches the pattern's own bits, which alone are read.
    struct Columns {
        Columns(std::size_t length, std::uint64_t entry_)
            : last(std::uint64_t(1) << (length - 1)), entry(entry_), score(static_cast<int>(length))
        {
        }

        // Moves to the next column, whose character matches the pattern where eq has bits.
        void step(std::uint64_t eq)
        {
            const std::uint64_t xv = eq | minus;
            const std::uint64_t xh = (((eq & plus) + plus) ^ plus) | eq;
            across_plus = minus | ~(xh | plus);
            across_minus = plus & xh;
            // The two differences never share a bit.
            score += static_cast<int>((across_plus & last) != 0) - static_cast<int>((across_minus & last) != 0);
            const std::uint64_t hplus = (across_plus << 1) | entry;
            const std::uint64_t hminus = across_minus << 1;
            plus = hminus | ~(xv | hplus);
            minus = hplus & xv;
        }

        std::uint64_t last;
        std::uint64_t entry;
        std::uint64_t plus = ~std::uint64_t(0); // column 0: D(i, 0) = i
        std::uint64_t minus = 0;
        // The horizontal differences D(i, j) - D(i, j - 1) of the last step, bit i - 1 for row i.
        std::uint64_t across_plus = 0;
        std::uint64_t across_minus = 0;
        int score;
    };

private:
    template <bool Traced>
    void search_columns(std::string_view other, std::vector<int>& last_row, std::vector<int>& last_column,
                        Trace* trace) const;

    std::string_view::size_type length_;
    std::array<char, Max_length> text_{};
    // Match vectors of the letters A, C, G, T and N, the usual index letters.
    std::array<std::uint64_t, 5> letter_matches_{};
};
