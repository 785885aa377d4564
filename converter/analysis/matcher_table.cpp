#include "converter/analysis/matcher_table.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

std::uint32_t round_up_to_block(std::uint32_t n)
{
    constexpr std::uint32_t block = MatcherTable<unsigned char>::Block;
    return (n + block - 1) / block * block;
}

// One run of 32 cells of an anti-diagonal: cur[t] = D(a, b) for b = the run's first column
// + t, from up[t] = D(a - 1, b), left[t] = D(a, b - 1) (both on the previous anti-diagonal)
// and diag[t] = D(a - 1, b - 1) (the one before it); bases1[t] and bases2[t] are base a of
// sequence 1 and base b of sequence 2. The fixed trip count lets the compiler turn the loop
// into byte-wide (or word-wide) vector minimums.
template <typename Cell>
inline void fill_run(Cell* __restrict cur, const Cell* __restrict up, const Cell* __restrict left,
                     const Cell* __restrict diag, const unsigned char* __restrict bases1,
                     const unsigned char* __restrict bases2)
{
    for (int t = 0; t < static_cast<int>(MatcherTable<Cell>::Block); ++t) {
        const Cell gap = static_cast<Cell>((up[t] < left[t] ? up[t] : left[t]) + 1);
        const Cell substitution = static_cast<Cell>(diag[t] + (bases1[t] != bases2[t]));
        cur[t] = gap < substitution ? gap : substitution;
    }
}

} // namespace

template <typename Cell>
MatcherTable<Cell>::MatcherTable(std::uint32_t max1, std::uint32_t max2)
    : table((static_cast<std::size_t>(max1) + max2 + 1) * (round_up_to_block(max2) + 1)),
      sequence1(static_cast<std::size_t>(max1) + max2 + Block - 1), sequence2(round_up_to_block(max2)), max1_(max1),
      max2_(max2)
{
}

template <typename Cell>
void MatcherTable<Cell>::init_sequences(const char* s1, const char* s2, std::uint32_t length1_, std::uint32_t length2_)
{
    if (length1_ > max1_ || length2_ > max2_)
        throw std::length_error("MatcherTable: sequence lengths " + std::to_string(length1_) + ", " +
                                std::to_string(length2_) + " exceed the table's " + std::to_string(max1_) + ", " +
                                std::to_string(max2_));
    length1 = length1_;
    length2 = length2_;
    const std::uint32_t columns = round_up_to_block(length2);
    stride = columns + 1;

    // Sequence 1 reversed: base a (1-based) at (length2 - 1) + (length1 - a).
    const std::uint32_t before = length2 > 0 ? length2 - 1 : 0;
    unsigned char* p = sequence1.data();
    std::memset(p, Sentinel, before);
    for (std::uint32_t k = 0; k < length1; ++k)
        p[before + k] = static_cast<unsigned char>(s1[length1 - 1 - k]);
    std::memset(p + before + length1, Sentinel, Block - 1);

    if (length2 > 0)
        std::memcpy(sequence2.data(), s2, length2);
    std::memset(sequence2.data() + length2, Sentinel, columns - length2);
}

template <typename Cell>
void MatcherTable<Cell>::populate_levenshtein(const char* s1, const char* s2, std::uint32_t length1_,
                                              std::uint32_t length2_, Type type)
{
    init_sequences(s1, s2, length1_, length2_);
    const std::uint32_t left_step = type == Global ? 1 : 0;   // D(a, 0) = a * left_step
    const std::uint32_t top_step = type == Free_ends ? 0 : 1; // D(0, b) = b * top_step
    const std::uint32_t last = length1 + length2;
    const bool inner = length1 > 0 && length2 > 0;
    // Base a = d - b of sequence 1 lies at bases1 - (d - b); base b of sequence 2 at
    // sequence2[b - 1]. With runs aligned to columns 1, 33, 65, ... every read stays inside
    // the padded buffers and every write inside its row.
    const unsigned char* bases1 = sequence1.data() + (length2 > 0 ? length2 - 1 : 0) + length1;
    Cell* row = table.data();
    for (std::uint32_t d = 0; d <= last; ++d, row += stride) {
        if (inner && d >= 2) {
            const std::uint32_t lo = d > length1 ? d - length1 : 1;
            const std::uint32_t hi = std::min(length2, d - 1);
            for (std::uint32_t b = (lo - 1) / Block * Block + 1; b <= hi; b += Block)
                fill_run<Cell>(row + b, row - stride + b, row - stride + b - 1, row - 2 * stride + b - 1,
                               bases1 - (d - b), sequence2.data() + b - 1);
        }
        // Borders last: a run may have passed over column d (a = 0) with unused values.
        if (d <= length1)
            row[0] = static_cast<Cell>(d * left_step);
        if (d <= length2)
            row[d] = static_cast<Cell>(d * top_step);
    }
}

template <typename Cell>
int MatcherTable<Cell>::step_op(std::uint32_t a, std::uint32_t b) const
{
    if (base1(a) == base2(b))
        return Cigar::M;
    const int left = get_distance(a, b - 1);
    const int up = get_distance(a - 1, b);
    const int diagonal = get_distance(a - 1, b - 1);
    if (left < up && left < diagonal)
        return Cigar::I;
    if (left > up && up < diagonal)
        return Cigar::D;
    return Cigar::X;
}

template <typename Cell>
void MatcherTable<Cell>::backtrack_levenshtein(int i, int j, int& start1, int& start2, int& insertions,
                                               int& deletions) const
{
    assert(i < static_cast<int>(length1) && j < static_cast<int>(length2));
    std::uint32_t a = static_cast<std::uint32_t>(i + 1);
    std::uint32_t b = static_cast<std::uint32_t>(j + 1);
    insertions = 0;
    deletions = 0;
    while (a >= 1 && b >= 1) {
        switch (step_op(a, b)) {
        case Cigar::I:
            ++insertions;
            --b;
            break;
        case Cigar::D:
            ++deletions;
            --a;
            break;
        default:
            --a;
            --b;
        }
    }
    start1 = static_cast<int>(a);
    start2 = static_cast<int>(b);
}

template <typename Cell>
void MatcherTable<Cell>::get_levenshtein_cigar_code(Cigar& cigar, char n_code) const
{
    cigar.clear();
    if (length1 == 0 || length2 == 0) {
        cigar.elements.push_back(Cigar::element(Cigar::M, 0));
        return;
    }
    // Gathered last to first; a run longer than an element holds is split into full
    // elements (first in alignment order) and the remainder.
    auto flush = [&cigar](int op, std::uint32_t length) {
        constexpr std::uint32_t full = Cigar::Max_length;
        if (length % full != 0)
            cigar.elements.push_back(Cigar::element(op, static_cast<int>(length % full)));
        for (std::uint32_t k = length / full; k > 0; --k)
            cigar.elements.push_back(Cigar::element(op, Cigar::Max_length));
    };
    const auto n = static_cast<unsigned char>(n_code);
    std::uint32_t a = length1;
    std::uint32_t b = length2;
    int run_op = -1;
    std::uint32_t run = 0;
    while (a >= 1 && b >= 1) {
        int op = step_op(a, b);
        if (op == Cigar::X && (base1(a) == n || base2(b) == n))
            op = Cigar::N;
        if (op != run_op) {
            if (run > 0)
                flush(run_op, run);
            run_op = op;
            run = 0;
        }
        ++run;
        if (op != Cigar::I)
            --a;
        if (op != Cigar::D)
            --b;
    }
    flush(run_op, run);
    std::reverse(cigar.elements.begin(), cigar.elements.end());
}

template class MatcherTable<unsigned char>;
template class MatcherTable<std::uint16_t>;
