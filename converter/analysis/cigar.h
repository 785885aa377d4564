#pragma once
// An alignment as 16-bit elements, op << 12 | length (length 0..4095), in alignment order.
// Ops: 0 M (equal bases), 1 I (second sequence only), 2 D (first sequence only), 3 N (a
// mismatch involving N), 4 X (any other mismatch).
#include <cstdint>
#include <string>
#include <vector>

class Cigar {
public:
    enum Op : int { M = 0, I = 1, D = 2, N = 3, X = 4 };
    static constexpr int Max_length = 4095;

    explicit Cigar(int n = 0) : elements(static_cast<std::size_t>(n), 0) {}

    static std::uint16_t element(int op, int length) { return static_cast<std::uint16_t>(op << 12 | length); }
    static int op_of(std::uint16_t e) { return e >> 12; }
    static int length_of(std::uint16_t e) { return e & 0xFFF; }

    // Bases at each end before the first run of at least 7 matching bases.
    int get_left_mismatches() const;
    int get_right_mismatches() const;
    // Bases of the second sequence (the query) that the elements cover: M, I, N and X.
    int get_query_length() const;
    // Keeps the alignment of the first n query bases; n below 1 empties the list.
    void trim_right(int n);
    // E.g. "10M1X140M".
    std::string get_string() const;
    void get_match_info(int n, int& matches, int& consumed) const;

    // Empties the list, keeping its capacity.
    void clear() { elements.clear(); }
    bool empty() const { return elements.empty(); }
    std::size_t size() const { return elements.size(); }

    std::vector<std::uint16_t> elements;
};
