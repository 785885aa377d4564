#include "converter/analysis/levenshtein_pattern.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

LevenshteinPattern::LevenshteinPattern(std::string_view text) : length_(text.size())
{
    if (text.size() > Max_length)
        throw std::length_error("Edit distance pattern longer than " + std::to_string(Max_length) +
                                " characters: " + std::to_string(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i) {
        text_[i] = text[i];
        const int letter = letter_position(text[i]);
        if (letter >= 0)
            letter_matches_[static_cast<std::size_t>(letter)] |= std::uint64_t(1) << i;
    }
}

namespace {

// +1, 0 or -1: the difference that a plus and a minus vector hold at the bit.
int difference(std::uint64_t plus, std::uint64_t minus, std::uint64_t bit)
{
    return static_cast<int>((plus & bit) != 0) - static_cast<int>((minus & bit) != 0);
}

} // namespace

int LevenshteinPattern::distance(std::string_view other) const
{
    if (length_ == 0)
        return static_cast<int>(other.size());
    Columns columns(length_, 1);
    for (const char c : other)
        columns.step(matches(c));
    return columns.score;
}

bool LevenshteinPattern::within(std::string_view other, int max) const
{
    return lengths_within(length_, other.size(), max) && distance(other) <= max;
}

void LevenshteinPattern::search(std::string_view other, std::vector<int>& last_row, std::vector<int>& last_column) const
{
    search_columns<false>(other, last_row, last_column, nullptr);
}

void LevenshteinPattern::search(std::string_view other, std::vector<int>& last_row, std::vector<int>& last_column,
                                Trace& trace) const
{
    search_columns<true>(other, last_row, last_column, &trace);
}

template <bool Traced>
void LevenshteinPattern::search_columns(std::string_view other, std::vector<int>& last_row,
                                        std::vector<int>& last_column, Trace* trace) const
{
    if (length_ == 0) {
        last_row.assign(other.size(), 0);
        last_column.assign(1, 0);
        return;
    }
    // Every value is written below.
    last_row.resize(other.size());
    last_column.resize(length_ + 1);
    last_column[0] = 0;
    Columns columns(length_, 0);
    int* const row = last_row.data();
    if constexpr (Traced) {
        const std::size_t size = other.size() + 1;
        for (auto* vector : {&trace->plus, &trace->minus, &trace->across_plus, &trace->across_minus})
            if (vector->size() < size)
                vector->resize(size);
        trace->plus[0] = columns.plus;
        trace->minus[0] = columns.minus;
    }
    for (std::size_t a = 0; a < other.size(); ++a) {
        columns.step(matches(other[a]));
        row[a] = columns.score;
        if constexpr (Traced) {
            trace->plus[a + 1] = columns.plus;
            trace->minus[a + 1] = columns.minus;
            trace->across_plus[a + 1] = columns.across_plus;
            trace->across_minus[a + 1] = columns.across_minus;
        }
    }
    const int m = static_cast<int>(length_);
    const std::uint64_t plus = columns.plus;
    const std::uint64_t minus = columns.minus;
    int value = 0;
    for (int b = 1; b <= m; ++b) {
        value += static_cast<int>((plus >> (b - 1)) & 1) - static_cast<int>((minus >> (b - 1)) & 1);
        last_column[static_cast<std::size_t>(b)] = value;
    }
}

void LevenshteinPattern::trace_back(const Trace& trace, std::string_view other, int i, int j, int& start_other,
                                    int& start_pattern) const
{
    // The neighbours' values are needed only against one another, so they are taken relative
    // to the current cell: left = D(a, b - 1), up = D(a - 1, b), diagonal = D(a - 1, b - 1).
    auto a = static_cast<std::size_t>(i + 1);
    auto b = static_cast<std::size_t>(j + 1);
    while (a >= 1 && b >= 1) {
        if (other[a - 1] == text_[b - 1]) {
            --a;
            --b;
            continue;
        }
        const std::uint64_t bit = std::uint64_t(1) << (b - 1);
        const int left = -difference(trace.plus[a], trace.minus[a], bit);
        const int up = -difference(trace.across_plus[a], trace.across_minus[a], bit);
        const int diagonal = up - difference(trace.plus[a - 1], trace.minus[a - 1], bit);
        if (left < up && left < diagonal) {
            --b;
        } else if (left > up && up < diagonal) {
            --a;
        } else {
            --a;
            --b;
        }
    }
    start_other = static_cast<int>(a);
    start_pattern = static_cast<int>(b);
}
