#pragma once
// Dynamic-programming table for edit distances between two byte sequences.
//
// Cell D(a, b) holds the cost of aligning the first a bases of sequence 1 with the first b
// bases of sequence 2. The table is stored by anti-diagonals: row a + b, column b, so the
// cells of one anti-diagonal are contiguous and are filled 32 at a time from the two rows
// before it.
//
// Cell width: every step is computed modulo the cell type's range, so a table is exact only
// while all its cells stay below the largest cell value. For types 1 and 2 no cell exceeds
// max(length1, length2), hence:
//   - MatcherTable<unsigned char> is exact while max(length1, length2) < 255;
//   - MatcherTable<std::uint16_t> is exact while max(length1, length2) < 65535.
// Callers whose lengths can reach 255 must use the 16-bit table.
//
// The table and both sequence buffers are allocated once, for the largest lengths, and
// reused for every alignment; filling and walking allocate nothing.
#include "converter/analysis/cigar.h"

#include <cassert>
#include <cstdint>
#include <vector>

template <typename Cell>
class MatcherTable {
public:
    // How the border cells are set.
    enum Type : int {
        Free_ends = 0,   // D(a, 0) = 0, D(0, b) = 0: both sequences may start anywhere
        Global = 1,      // D(a, 0) = a, D(0, b) = b: Levenshtein distance
        Semi_global = 2, // D(a, 0) = 0, D(0, b) = b: sequence 2 aligns from its first base
    };

    static constexpr std::uint32_t Block = 32;
    // Never equal to a base: comparisons that run past either sequence never match.
    static constexpr unsigned char Sentinel = 255;

    // For sequences of up to max1 and max2 bases.
    MatcherTable(std::uint32_t max1, std::uint32_t max2);

    // Copies both sequences into the padded buffers and sets the lengths and `stride`.
    // Throws std::length_error when a length exceeds the size given at construction.
    void init_sequences(const char* s1, const char* s2, std::uint32_t length1, std::uint32_t length2);

    // Fills every cell D(a, b), 0 <= a <= length1, 0 <= b <= length2. D(length1, length2) is
    // then the distance of the chosen type.
    void populate_levenshtein(const char* s1, const char* s2, std::uint32_t length1, std::uint32_t length2, Type type);

    // Walks back from base i of sequence 1 and base j of sequence 2 (both 0-based, within
    // the current lengths). start1 and start2 receive the 0-based positions of the first
    // aligned bases; insertions and deletions the number of I and D steps taken.
    void backtrack_levenshtein(int i, int j, int& start1, int& start2, int& insertions, int& deletions) const;

    // Replaces the contents of cigar by the walk from D(length1, length2) back, in alignment
    // order. A mismatch in which either base equals n_code is op N. One element 0M when
    // either sequence is empty.
    void get_levenshtein_cigar_code(Cigar& cigar, char n_code) const;

    // D(a, b), 0 <= a <= length1, 0 <= b <= length2.
    int get_distance(std::uint32_t a, std::uint32_t b) const
    {
        assert(a <= length1 && b <= length2);
        return table[(a + b) * stride + b];
    }

    std::uint32_t max_length1() const { return max1_; }
    std::uint32_t max_length2() const { return max2_; }

    // Cells per anti-diagonal row: length2 rounded up to a multiple of 32, plus 1.
    std::uint32_t stride = 1;
    std::uint32_t length1 = 0;
    std::uint32_t length2 = 0;
    // (max1 + max2 + 1) rows of (max2 rounded up to a multiple of 32, plus 1) cells.
    std::vector<Cell> table;
    // Sequence 1 reversed, with the sentinel in the length2 - 1 bytes before it and in the 31
    // bytes after it.
    std::vector<unsigned char> sequence1;
    // Sequence 2, padded with the sentinel up to a multiple of 32 bytes.
    std::vector<unsigned char> sequence2;

private:
    // Base a of sequence 1 and base b of sequence 2, both 1-based.
    unsigned char base1(std::uint32_t a) const { return sequence1[(length2 - 1) + (length1 - a)]; }
    unsigned char base2(std::uint32_t b) const { return sequence2[b - 1]; }

    // The walk-back step at cell (a, b), a >= 1 and b >= 1: Cigar::M, I, D or X.
    int step_op(std::uint32_t a, std::uint32_t b) const;

    std::uint32_t max1_;
    std::uint32_t max2_;
};

extern template class MatcherTable<unsigned char>;
extern template class MatcherTable<std::uint16_t>;
