#include "converter/analysis/levenshtein_pattern.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace {

// 0 to 4 for A, C, G, T and N, 5 for any other byte; a lookup, as the letters of reads come
// in no predictable order.
constexpr std::array<unsigned char, 256> Letter_positions = [] {
    std::array<unsigned char, 256> positions{};
    positions.fill(5);
    positions['A'] = 0;
    positions['C'] = 1;
    positions['G'] = 2;
    positions['T'] = 3;
    positions['N'] = 4;
    return positions;
}();

int letter_position(char c)
{
    const int position = Letter_positions[static_cast<unsigned char>(c)];
    return position == 5 ? -1 : position;
}

} // namespace

const std::array<unsigned char, 256> LevenshteinPattern::Base_codes = [] {
    std::array<unsigned char, 256> codes = Letter_positions;
    for (unsigned char& code : codes)
        code = code < 4 ? code : 4;
    return codes;
}();

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

std::uint64_t LevenshteinPattern::matches(char c) const
{
    const unsigned char letter = Letter_positions[static_cast<unsigned char>(c)];
    if (letter != 5) [[likely]]
        return letter_matches_[letter];
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < length_; ++i)
        if (text_[i] == c)
            bits |= std::uint64_t(1) << i;
    return bits;
}

namespace {

// The columns of the table D(i, j) (pattern prefix i against other prefix j) as vertical
// differences D(i, j) - D(i - 1, j), each +1, 0 or -1, in the bit vectors plus and minus,
// with the last row's value in score. entry is the horizontal difference entering row 1:
// 1 when row 0 holds D(0, j) = j, 0 when it holds D(0, j) = 0.
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

bool LevenshteinPattern::lengths_within(std::size_t length, std::size_t other, int max)
{
    // The distance is at least the difference of the lengths.
    const std::size_t difference = other > length ? other - length : length - other;
    return max >= 0 && difference <= static_cast<std::size_t>(max);
}

bool LevenshteinPattern::within(std::string_view other, int max) const
{
    return lengths_within(length_, other.size(), max) && distance(other) <= max;
}

namespace {

// Eight patterns of 1 to 8 characters side by side, one to a byte of each vector: the steps of
// Columns::step, with every sum and shift kept within its byte. Only the distances are
// needed, so they are read from the last column's vertical differences at the end instead of
// being followed at every step.
constexpr std::uint64_t Lane_tops = 0x8080808080808080;
constexpr std::uint64_t Lane_bottoms = 0x0101010101010101;

// The bits of each byte, counted into that byte.
std::uint64_t lane_counts(std::uint64_t x)
{
    x -= (x >> 1) & 0x5555555555555555;
    x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
    return (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
}

} // namespace

bool LevenshteinPattern::fits_lane(const LevenshteinPattern& pattern)
{
    return pattern.length_ >= 1 && pattern.length_ <= 8;
}

void LevenshteinPattern::within_eight(const LevenshteinPattern* patterns, std::string_view other, int max,
                                      unsigned char* out)
{
    std::array<std::uint64_t, 5> letters{};
    std::uint64_t own_bits = 0; // the bits of each byte that its pattern's characters take
    for (std::size_t lane = 0; lane < 8; ++lane) {
        for (std::size_t letter = 0; letter < letters.size(); ++letter)
            letters[letter] |= patterns[lane].letter_matches_[letter] << (8 * lane);
        own_bits |= ((std::uint64_t(1) << patterns[lane].length_) - 1) << (8 * lane);
    }
    std::uint64_t plus = ~std::uint64_t(0); // D(i, 0) = i
    std::uint64_t minus = 0;
    for (const char c : other) {
        const unsigned char letter = Letter_positions[static_cast<unsigned char>(c)];
        std::uint64_t eq = 0;
        if (letter != 5) [[likely]] {
            eq = letters[letter];
        } else {
            for (std::size_t lane = 0; lane < 8; ++lane)
                eq |= patterns[lane].matches(c) << (8 * lane);
        }
        const std::uint64_t xv = eq | minus;
        const std::uint64_t both = eq & plus;
        // both + plus within each byte: the top bits are added apart, so no carry leaves a byte.
        const std::uint64_t sum = ((both & ~Lane_tops) + (plus & ~Lane_tops)) ^ ((both ^ plus) & Lane_tops);
        const std::uint64_t xh = (sum ^ plus) | eq;
        // Row 0 holds D(0, j) = j: a difference of 1 enters every byte's lowest bit.
        const std::uint64_t hplus = (((minus | ~(xh | plus)) << 1) & ~Lane_bottoms) | Lane_bottoms;
        const std::uint64_t hminus = ((plus & xh) << 1) & ~Lane_bottoms;
        plus = hminus | ~(xv | hplus);
        minus = hplus & xv;
    }
    // D(length, n) = D(0, n) + the vertical differences of the last column.
    const std::uint64_t ups = lane_counts(plus & own_bits);
    const std::uint64_t downs = lane_counts(minus & own_bits);
    for (std::size_t lane = 0; lane < 8; ++lane) {
        const int score = static_cast<int>(other.size()) + static_cast<int>((ups >> (8 * lane)) & 0xFF) -
                          static_cast<int>((downs >> (8 * lane)) & 0xFF);
        out[lane] = lengths_within(patterns[lane].length_, other.size(), max) && score <= max;
    }
}

void LevenshteinPattern::within_each(std::span<const LevenshteinPattern> patterns, std::string_view other,
                                     int max, std::vector<unsigned char>& out)
{
    out.resize(patterns.size());
    const auto close_enough = [&](const LevenshteinPattern& pattern, int score) -> unsigned char {
        return lengths_within(pattern.length_, other.size(), max) && score <= max;
    };
    // Four patterns whose columns advance side by side, each in a word of its own.
    const auto within_four = [&](std::size_t i) {
        const LevenshteinPattern& a = patterns[i];
        const LevenshteinPattern& b = patterns[i + 1];
        const LevenshteinPattern& c = patterns[i + 2];
        const LevenshteinPattern& d = patterns[i + 3];
        if (a.length_ == 0 || b.length_ == 0 || c.length_ == 0 || d.length_ == 0) {
            for (std::size_t k = i; k < i + 4; ++k)
                out[k] = patterns[k].within(other, max) ? 1 : 0;
            return;
        }
        Columns ca(a.length_, 1);
        Columns cb(b.length_, 1);
        Columns cc(c.length_, 1);
        Columns cd(d.length_, 1);
        for (const char letter : other) {
            ca.step(a.matches(letter));
            cb.step(b.matches(letter));
            cc.step(c.matches(letter));
            cd.step(d.matches(letter));
        }
        out[i] = close_enough(a, ca.score);
        out[i + 1] = close_enough(b, cb.score);
        out[i + 2] = close_enough(c, cc.score);
        out[i + 3] = close_enough(d, cd.score);
    };
    std::size_t i = 0;
    for (; i + 8 <= patterns.size(); i += 8) {
        if (std::all_of(patterns.begin() + static_cast<std::ptrdiff_t>(i),
                        patterns.begin() + static_cast<std::ptrdiff_t>(i + 8), fits_lane)) {
            within_eight(patterns.data() + i, other, max, out.data() + i);
        } else {
            within_four(i);
            within_four(i + 4);
        }
    }
    for (; i + 4 <= patterns.size(); i += 4)
        within_four(i);
    for (; i < patterns.size(); ++i)
        out[i] = patterns[i].within(other, max) ? 1 : 0;
}

void LevenshteinPattern::search(std::string_view other, std::vector<int>& last_row,
                                std::vector<int>& last_column) const
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
