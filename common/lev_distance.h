#pragma once
// Edit (Levenshtein) distance of byte strings. Every insertion, deletion and
// substitution costs 1; bytes are compared exactly.

#include <cstdint>
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
