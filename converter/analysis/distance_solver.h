#pragma once
// Longest common subsequence and edit distance between slices of two packed sequences,
// compared by base code only (a no-call compares as the base it holds).
//
// LCS and levenshtein_traceback fill a table of one-byte cells, row i standing for the first
// i bases of the first slice and column j for the first j bases of the second; cells wrap
// from 255 to 0, so results past 255 wrap too. Each of them writes row 0 and column 0 itself.
//
// Slices are checked before any base is read: a negative start or length throws
// std::invalid_argument, a slice reaching past its sequence std::out_of_range (the first
// slice of levenshtein_traceback: std::runtime_error "index is out of bounds for cycle "
// and the last position of the slice), and a slice of 300 bases or more for a table user
// std::out_of_range.
#include "converter/pipeline/two_bit_seq.h"

#include <string>
#include <vector>

class DistanceSolver {
public:
    static constexpr int Table_size = 300; // rows and columns of the table

    // Banded LCS length: row i of the first slice only looks at columns i - 5 .. i + 4 of
    // the second, and cells outside the band keep what the row held two rows before. 0 when
    // a_len < 1 or b_len < 1. Uses no table, so slices may be of any length.
    int LCS_len(const TwoBitSeq& a, int a_start, int a_len, const TwoBitSeq& b, int b_start, int b_len);

    // Full LCS length. The traceback writes the bottom (second) and top (first) aligned texts
    // to standard output, one line each, and adds 1 to counts[i - 1] for every mismatch met
    // at row i after the first match of the traceback: counts needs at least a_len entries.
    // A null counts throws std::invalid_argument.
    int LCS(const TwoBitSeq& a, int a_start, int a_len, const TwoBitSeq& b, int b_start, int b_len, int*& counts);

    // Edit distance. The traceback adds 1 to counts[a_start + i] for every mismatch at row i
    // when a_start + i < a.length - 5: counts needs at least a.length - 5 entries. The table
    // and the aligned texts are logged at DEBUG. A null counts throws std::invalid_argument.
    int levenshtein_traceback(const TwoBitSeq& a, int a_start, int a_len, const TwoBitSeq& b, int b_start, int b_len,
                              int*& counts);

    // The table as text: a header line of a blank field and one field per column label, then
    // per row label a line of the label and the cells of that row, one per column label. Each
    // field is left-aligned in width 3 and followed by a blank. Labels longer than the table
    // throw std::out_of_range.
    std::string print_graph(const std::string& row_labels, const std::string& column_labels) const;

    std::vector<unsigned char> table = std::vector<unsigned char>(Table_size * Table_size, 0);

private:
    unsigned char& cell(int i, int j) { return table[static_cast<std::size_t>(i * Table_size + j)]; }
};
