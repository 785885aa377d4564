#include "converter/analysis/cigar.h"

#include <algorithm>

namespace {

constexpr int Matching_run = 7;
constexpr char Op_letters[] = "MIDNX";

// Bases before the first run of at least 7 matching bases, walking the elements in the
// order the iterators give.
template <typename It>
int end_mismatches(It begin, It end)
{
    int result = 0;
    int run = 0;
    for (It e = begin; e != end; ++e) {
        const int op = Cigar::op_of(*e);
        const int length = Cigar::length_of(*e);
        if (op == Cigar::M || op == Cigar::N) {
            run += length;
            if (run >= Matching_run)
                break;
        } else {
            result += run + (op == Cigar::D ? 0 : length);
            run = 0;
        }
    }
    return result;
}

} // namespace

int Cigar::get_left_mismatches() const
{
    return end_mismatches(elements.begin(), elements.end());
}

int Cigar::get_right_mismatches() const
{
    return end_mismatches(elements.rbegin(), elements.rend());
}

void Cigar::trim_right(int n)
{
    if (n < 1) {
        elements.clear();
        return;
    }
    int left = n;
    std::size_t kept = 0;
    while (kept < elements.size() && left > 0) {
        const int op = op_of(elements[kept]);
        const int length = std::min(length_of(elements[kept]), left);
        elements[kept] = element(op, length);
        if (op != D)
            left -= length;
        ++kept;
    }
    elements.resize(kept);
}

std::string Cigar::get_string() const
{
    std::string text;
    for (std::uint16_t e : elements)
        text += std::to_string(length_of(e)) + Op_letters[std::min(op_of(e), 4)];
    return text;
}

int Cigar::get_query_length() const
{
    int length = 0;
    for (const std::uint16_t e : elements)
        if (op_of(e) != D)
            length += length_of(e);
    return length;
}

void Cigar::get_match_info(int n, int& matches, int& consumed) const
{
    int left = n;
    for (std::uint16_t e : elements) {
        if (left <= 0)
            break;
        const int op = op_of(e);
        const int length = std::min(length_of(e), left);
        if (op == M)
            matches += length;
        if (op != N)
            consumed += length;
        left -= length;
    }
}
