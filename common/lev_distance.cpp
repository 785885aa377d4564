#include "common/lev_distance.h"

#include "common/base_code.h"

#include <algorithm>
#include <utility>

std::int64_t get_lev_table_size(int a, int b)
{
    return (static_cast<std::int64_t>(a) + 1) * (static_cast<std::int64_t>(b) + 1);
}

int get_lev_distance(std::vector<int>& table, const std::string& a, const std::string& b)
{
    const std::size_t la = a.size();
    const std::size_t lb = b.size();
    const std::size_t columns = la + 1;
    const std::size_t size = columns * (lb + 1);
    if (table.size() < size)
        table.resize(size);
    for (std::size_t c = 0; c <= la; ++c)
        table[c] = static_cast<int>(c);
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

int get_lev_distance(const std::string& a, const std::string& b)
{
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    const std::size_t m = shorter.size();
    std::vector<int> prev(m + 1);
    std::vector<int> cur(m + 1);
    for (std::size_t j = 0; j <= m; ++j)
        prev[j] = static_cast<int>(j);
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

int get_lev_distance_bounded(const std::string& a, const std::string& b, int limit)
{
    if (limit < 0)
        return limit + 1;
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    const std::size_t m = shorter.size();
    const std::size_t n = longer.size();
    if (static_cast<std::size_t>(limit) >= n)
        return get_lev_distance(a, b); // never above n
    const std::size_t k = static_cast<std::size_t>(limit);
    const int cap = limit + 1;
    if (n - m > k)
        return cap; // the distance is at least the difference of the lengths

    // Capped values min(D, cap) obey the same recurrence; every cell with |i - j| > k is cap.
    // Every path to the last cell crosses each row, so once a whole band row exceeds the limit
    // the distance does too. The rows are kept per thread, since a sheet's check asks for a
    // distance per pair of samples.
    thread_local std::vector<int> prev;
    thread_local std::vector<int> cur;
    prev.assign(m + 1, cap);
    cur.assign(m + 1, cap);
    for (std::size_t j = 0; j <= std::min(m, k); ++j)
        prev[j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t lo = i > k ? i - k : 0;
        const std::size_t hi = std::min(m, i + k);
        int row_min = cap;
        for (std::size_t j = lo; j <= hi; ++j) {
            if (j == 0) {
                cur[0] = std::min(static_cast<int>(std::min<std::size_t>(i, k + 1)), cap);
                row_min = cur[0];
                continue;
            }
            const int up = (j + 1 <= i + k) ? prev[j] : cap; // j <= (i - 1) + k
            const int left = (j - 1 >= lo) ? cur[j - 1] : cap;
            const int diag = prev[j - 1];
            const int cost = shorter[j - 1] == longer[i - 1] ? 0 : 1;
            cur[j] = std::min({up + 1, left + 1, diag + cost, cap});
            row_min = std::min(row_min, cur[j]);
        }
        if (row_min >= cap)
            return cap;
        std::swap(prev, cur);
    }
    return std::min(prev[m], cap);
}

using base_code::Letter_positions;

LevPattern::LevPattern(const std::string& text) : text_(text)
{
    for (std::size_t i = 0; i < text_.size(); ++i) {
        const unsigned char code = Letter_positions[static_cast<unsigned char>(text_[i])];
        if (code < letters_.size())
            letters_[code] |= std::uint64_t(1) << i;
        ++counts_[code];
    }
}

std::uint64_t LevPattern::positions_of(unsigned char byte) const
{
    std::uint64_t positions = 0;
    for (std::size_t i = 0; i < text_.size(); ++i)
        if (static_cast<unsigned char>(text_[i]) == byte)
            positions |= std::uint64_t(1) << i;
    return positions;
}

int LevPattern::distance(const std::string& other) const
{
    const std::size_t m = text_.size();
    if (m == 0)
        return static_cast<int>(other.size());
    // Column j of the table as its vertical differences: bit i of plus (minus) set when cell
    // (i + 1, j) is one more (less) than cell (i, j). Column 0 holds 0, 1, ..., m.
    const std::uint64_t last = std::uint64_t(1) << (m - 1);
    std::uint64_t plus = ~std::uint64_t(0);
    std::uint64_t minus = 0;
    int score = static_cast<int>(m); // cell (m, j)
    for (const char c : other) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const unsigned char code = Letter_positions[byte];
        const std::uint64_t equal = code < letters_.size() ? letters_[code] : positions_of(byte);
        const std::uint64_t vertical = equal | minus;
        const std::uint64_t diagonal = (((equal & plus) + plus) ^ plus) | equal;
        std::uint64_t h_plus = minus | ~(diagonal | plus);
        std::uint64_t h_minus = plus & diagonal;
        score += static_cast<int>((h_plus & last) != 0) - static_cast<int>((h_minus & last) != 0);
        // Row 0 of the table counts up by one a column.
        h_plus = (h_plus << 1) | 1;
        h_minus <<= 1;
        plus = h_minus | ~(vertical | h_plus);
        minus = h_plus & vertical;
    }
    return score;
}
