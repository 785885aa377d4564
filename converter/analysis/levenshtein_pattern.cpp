#include "converter/analysis/levenshtein_pattern.h"

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

// Column j of the table D(i, j) (pattern prefix i against other prefix j) is kept as its
// vertical differences D(i, j) - D(i - 1, j), each +1, 0 or -1, in the bit vectors plus and
// minus; the last row's value is tracked in score. Row 0 holds D(0, j) = j, so the horizontal
// difference entering row 1 is always +1.
int LevenshteinPattern::distance(std::string_view other) const
{
    const int m = static_cast<int>(length_);
    if (m == 0)
        return static_cast<int>(other.size());
    const std::uint64_t mask = m == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << m) - 1;
    const std::uint64_t last = std::uint64_t(1) << (m - 1);
    std::uint64_t plus = mask; // D(i, 0) = i
    std::uint64_t minus = 0;
    int score = m;
    for (const char c : other) {
        const std::uint64_t eq = matches(c);
        const std::uint64_t xv = eq | minus;
        const std::uint64_t xh = ((((eq & plus) + plus) ^ plus) | eq) & mask;
        std::uint64_t hplus = (minus | ~(xh | plus)) & mask;
        std::uint64_t hminus = plus & xh;
        if (hplus & last)
            ++score;
        else if (hminus & last)
            --score;
        hplus = ((hplus << 1) | 1) & mask;
        hminus = (hminus << 1) & mask;
        plus = (hminus | ~(xv | hplus)) & mask;
        minus = hplus & xv;
    }
    return score;
}

bool LevenshteinPattern::within(std::string_view other, int max) const
{
    if (max < 0)
        return false;
    const std::size_t difference = other.size() > length_ ? other.size() - length_ : length_ - other.size();
    return difference <= static_cast<std::size_t>(max) && distance(other) <= max;
}

// As distance, but row 0 holds D(a, 0) = 0: the horizontal difference entering row 1 is 0.
void LevenshteinPattern::search(std::string_view other, std::vector<int>& last_row,
                                std::vector<int>& last_column) const
{
    const int m = static_cast<int>(length_);
    last_row.assign(other.size(), 0);
    last_column.assign(length_ + 1, 0);
    if (m == 0)
        return;
    const std::uint64_t mask = m == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << m) - 1;
    const std::uint64_t last = std::uint64_t(1) << (m - 1);
    std::uint64_t plus = mask;
    std::uint64_t minus = 0;
    int score = m;
    for (std::size_t a = 0; a < other.size(); ++a) {
        const std::uint64_t eq = matches(other[a]);
        const std::uint64_t xv = eq | minus;
        const std::uint64_t xh = ((((eq & plus) + plus) ^ plus) | eq) & mask;
        std::uint64_t hplus = (minus | ~(xh | plus)) & mask;
        std::uint64_t hminus = plus & xh;
        if (hplus & last)
            ++score;
        else if (hminus & last)
            --score;
        hplus = (hplus << 1) & mask;
        hminus = (hminus << 1) & mask;
        plus = (hminus | ~(xv | hplus)) & mask;
        minus = hplus & xv;
        last_row[a] = score;
    }
    int value = 0;
    for (int b = 1; b <= m; ++b) {
        value += static_cast<int>((plus >> (b - 1)) & 1) - static_cast<int>((minus >> (b - 1)) & 1);
        last_column[static_cast<std::size_t>(b)] = value;
    }
}
