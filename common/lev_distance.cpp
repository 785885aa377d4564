#include "common/lev_distance.h"

#include <algorithm>
#include <utility>

std::int64_t get_lev_table_size(int a, int b) {
    return (static_cast<std::int64_t>(a) + 1) * (static_cast<std::int64_t>(b) + 1);
}

int get_lev_distance(std::vector<int>& table, const std::string& a, const std::string& b) {
    const std::size_t la = a.size();
    const std::size_t lb = b.size();
    const std::size_t columns = la + 1;
    const std::size_t size = columns * (lb + 1);
    if (table.size() < size) table.resize(size);
    for (std::size_t c = 0; c <= la; ++c) table[c] = static_cast<int>(c);
    for (std::size_t r = 1; r <= lb; ++r) {
        int* row = &table[r * columns];
        const int* above = row - columns;
        row[0] = static_cast<int>(r);
        for (std::size_t c = 1; c <= la; ++c) {
            const int cost = a[c - 1] == b[r - 1] ? 0 : 1;
            row[c] = std::min({above[c] + 1, row[c - 1] + 1, above[c - 1] + cost});
        }
    }
    return table[lb * columns + la];
}

int get_lev_distance(const std::string& a, const std::string& b) {
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    const std::size_t m = shorter.size();
    std::vector<int> prev(m + 1);
    std::vector<int> cur(m + 1);
    for (std::size_t j = 0; j <= m; ++j) prev[j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= longer.size(); ++i) {
        cur[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= m; ++j) {
            const int cost = shorter[j - 1] == longer[i - 1] ? 0 : 1;
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
        }
        std::swap(prev, cur);
    }
    return prev[m];
}

int get_lev_distance_bounded(const std::string& a, const std::string& b, int limit) {
    if (limit < 0) return limit + 1;
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    const std::size_t m = shorter.size();
    const std::size_t n = longer.size();
    if (static_cast<std::size_t>(limit) >= n) return get_lev_distance(a, b); // never above n
    const std::size_t k = static_cast<std::size_t>(limit);
    const int cap = limit + 1;
    if (n - m > k) return cap; // the distance is at least the difference of the lengths

    // Capped values min(D, cap) obey the same recurrence; every cell with |i - j| > k is cap.
    std::vector<int> prev(m + 1, cap);
    std::vector<int> cur(m + 1, cap);
    for (std::size_t j = 0; j <= std::min(m, k); ++j) prev[j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t lo = i > k ? i - k : 0;
        const std::size_t hi = std::min(m, i + k);
        for (std::size_t j = lo; j <= hi; ++j) {
            if (j == 0) {
                cur[0] = std::min(static_cast<int>(std::min<std::size_t>(i, k + 1)), cap);
                continue;
            }
            const int up = (j + 1 <= i + k) ? prev[j] : cap; // j <= (i - 1) + k
            const int left = (j - 1 >= lo) ? cur[j - 1] : cap;
            const int diag = prev[j - 1];
            const int cost = shorter[j - 1] == longer[i - 1] ? 0 : 1;
            cur[j] = std::min({up + 1, left + 1, diag + cost, cap});
        }
        std::swap(prev, cur);
    }
    return std::min(prev[m], cap);
}
