#pragma once
// Edit (Levenshtein) distance of byte strings. Every insertion, deletion and
// substitution costs 1; bytes are compared exactly.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// (a + 1) * (b + 1): the number of ints get_lev_distance(table, ...) needs for strings of
// lengths a and b. Computed in 64 bits (no overflow for any int lengths).
std::int64_t get_lev_table_size(int a, int b);

// The edit distance of a and b using the caller's full (len a + 1) x (len b + 1) table, which is
// overwritten (and grown when it is too small).
int get_lev_distance(std::vector<int>& table, const std::string& a, const std::string& b);

// The same distance with two rows of min(len a, len b) + 1 ints.
int get_lev_distance(const std::string& a, const std::string& b);

// min(distance, limit + 1) for limit >= 0, computed only within the band |i - j| <= limit
// (O(limit x length) time, two rows of min(len a, len b) + 1 ints). So
// get_lev_distance_bounded(a, b, k) <= k exactly when get_lev_distance(a, b) <= k.
int get_lev_distance_bounded(const std::string& a, const std::string& b, int limit);

// One text of at most 64 bytes set up to give its edit distance to many others, a machine word
// per column of the table (Myers' bit-parallel method); the same distance as get_lev_distance.
//   LevPattern pattern("ACGTACGT");
//   int d = pattern.distance("ACGAACGT");   // 1
class LevPattern {
public:
    static constexpr std::size_t Max_length = 64;

    explicit LevPattern(const std::string& text); // text.size() <= Max_length
    int distance(const std::string& other) const;
    // At most the distance of the two texts, found from how often each letter occurs in them
    // (an edit changes at most two of those counts, each by one); much cheaper than distance.
    int lower_bound(const LevPattern& other) const
    {
        int differences = 0; // the sum over the letters of the differences of their counts
        for (std::size_t code = 0; code < counts_.size(); ++code)
            differences += std::abs(counts_[code] - other.counts_[code]);
        return (differences + 1) / 2;
    }

private:
    // The positions of a byte other than A, C, G, T and N in the text, as bits (position 0 the
    // lowest).
    std::uint64_t positions_of(unsigned char byte) const;

    std::string text_;
    std::array<std::uint64_t, 5> letters_{}; // positions of A, C, G, T and N
    std::array<std::uint8_t, 6> counts_{};   // how often A, C, G, T, N and any other byte occur
};
