#include "converter/analysis/distance_solver.h"

#include "common/base_code.h"
#include "converter/app/logger.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace {

using base_code::Letters;

void check_slice(const TwoBitSeq& seq, int start, int len)
{
    if (start < 0 || len < 0)
        throw std::invalid_argument("negative sequence slice " + std::to_string(start) + "+" + std::to_string(len));
    if (len > seq.length - start)
        throw std::out_of_range("sequence slice " + std::to_string(start) + "+" + std::to_string(len) +
                                " reaches past a sequence of length " + std::to_string(seq.length));
}

void check_table_fit(int len)
{
    if (len >= DistanceSolver::Table_size)
        throw std::out_of_range("sequence slice of " + std::to_string(len) + " bases does not fit the " +
                                std::to_string(DistanceSolver::Table_size) + "-cell table");
}

void check_counts(const int* counts)
{
    if (counts == nullptr)
        throw std::invalid_argument("no counts array given");
}

// The letters of a slice, with a leading '-' standing for the empty prefix.
std::string slice_labels(const TwoBitSeq& seq, int start, int len)
{
    std::string labels = "-";
    for (int i = 0; i < len; ++i)
        labels += Letters[seq.get_base(start + i)];
    return labels;
}

// The two rows of an alignment, built from their ends during a traceback.
struct AlignedTexts {
    // A step that takes base a (or a gap, -1) of the first text and base b (or -1) of the second.
    void step(int a, int b)
    {
        top += a < 0 ? '-' : Letters[a];
        bottom += b < 0 ? '-' : Letters[b];
    }
    // Puts both rows in reading order.
    void finish()
    {
        std::reverse(top.begin(), top.end());
        std::reverse(bottom.begin(), bottom.end());
    }

    std::string top;
    std::string bottom;
};

} // namespace

int DistanceSolver::LCS_len(const TwoBitSeq& a, int a_start, int a_len, const TwoBitSeq& b, int b_start, int b_len)
{
    if (a_len < 1 || b_len < 1)
        return 0;
    check_slice(a, a_start, a_len);
    check_slice(b, b_start, b_len);
    std::vector<int> rows[2] = {std::vector<int>(b_len + 1, 0), std::vector<int>(b_len + 1, 0)};
    for (int i = 0; i < a_len; ++i) {
        const std::vector<int>& prev = rows[(i + 1) % 2];
        std::vector<int>& cur = rows[i % 2];
        const int base = a.get_base(a_start + i);
        for (int j = std::max(i - 5, 0); j < std::min(i + 5, b_len); ++j)
            cur[j + 1] = base == b.get_base(b_start + j) ? prev[j] + 1 : std::max(prev[j + 1], cur[j]);
    }
    return rows[(a_len - 1) % 2][b_len];
}

int DistanceSolver::LCS(const TwoBitSeq& a, int a_start, int a_len, const TwoBitSeq& b, int b_start, int b_len,
                        int*& counts)
{
    check_slice(a, a_start, a_len);
    check_slice(b, b_start, b_len);
    check_table_fit(a_len);
    check_table_fit(b_len);
    check_counts(counts);
    for (int i = 0; i <= a_len; ++i)
        cell(i, 0) = 0;
    for (int j = 0; j <= b_len; ++j)
        cell(0, j) = 0;
    for (int i = 1; i <= a_len; ++i)
        for (int j = 1; j <= b_len; ++j)
            cell(i, j) = static_cast<unsigned char>(a.get_base(a_start + i - 1) == b.get_base(b_start + j - 1)
                                                        ? cell(i - 1, j - 1) + 1
                                                        : std::max(cell(i - 1, j), cell(i, j - 1)));

    AlignedTexts texts;
    bool matched = false;
    for (int i = a_len, j = b_len; i >= 1 && j >= 1;) {
        const int base_a = a.get_base(a_start + i - 1);
        const int base_b = b.get_base(b_start + j - 1);
        if (base_a == base_b) {
            texts.step(base_a, base_b);
            --i;
            --j;
            matched = true;
            continue;
        }
        if (matched)
            ++counts[i - 1];
        if (cell(i - 1, j) > cell(i, j - 1)) {
            texts.step(base_a, -1);
            --i;
        } else {
            texts.step(-1, base_b);
            --j;
        }
    }
    texts.finish();
    std::cout << texts.bottom << '\n' << texts.top << '\n';
    return cell(a_len, b_len);
}

int DistanceSolver::levenshtein_traceback(const TwoBitSeq& a, int a_start, int a_len, const TwoBitSeq& b, int b_start,
                                          int b_len, int*& counts)
{
    if (a_start >= 0 && a_len > 0 && a_len > a.length - a_start)
        throw std::runtime_error("index is out of bounds for cycle " + std::to_string(a_start + a_len - 1));
    check_slice(a, a_start, a_len);
    check_slice(b, b_start, b_len);
    check_table_fit(a_len);
    check_table_fit(b_len);
    check_counts(counts);
    for (int i = 0; i <= a_len; ++i)
        cell(i, 0) = static_cast<unsigned char>(i);
    for (int j = 0; j <= b_len; ++j)
        cell(0, j) = static_cast<unsigned char>(j);
    for (int i = 1; i <= a_len; ++i)
        for (int j = 1; j <= b_len; ++j) {
            const int cost = a.get_base(a_start + i - 1) == b.get_base(b_start + j - 1) ? 0 : 1;
            cell(i, j) = static_cast<unsigned char>(
                std::min({cell(i, j - 1) + 1, cell(i - 1, j) + 1, cell(i - 1, j - 1) + cost}));
        }
    if (Logger::min_level_ <= DEBUG) {
        std::string graph = print_graph(slice_labels(a, a_start, a_len), slice_labels(b, b_start, b_len));
        graph.pop_back();
        log_debug() << "Edit distance table:\n" << graph;
    }

    AlignedTexts texts;
    for (int i = a_len, j = b_len; i >= 1 && j >= 1;) {
        const int base_a = a.get_base(a_start + i - 1);
        const int base_b = b.get_base(b_start + j - 1);
        const int cost = base_a == base_b ? 0 : 1;
        if (cost == 1 && a_start + i < a.length - 5)
            ++counts[a_start + i];
        if (cell(i - 1, j - 1) + cost == cell(i, j)) {
            texts.step(base_a, base_b);
            --i;
            --j;
        } else if (cell(i - 1, j) + 1 == cell(i, j)) {
            texts.step(base_a, -1);
            --i;
        } else {
            texts.step(-1, base_b);
            --j;
        }
    }
    texts.finish();
    log_debug() << "Edit distance alignment:\n" << texts.top << '\n' << texts.bottom;
    return cell(a_len, b_len);
}

std::string DistanceSolver::print_graph(const std::string& row_labels, const std::string& column_labels) const
{
    if (row_labels.size() > Table_size || column_labels.size() > Table_size)
        throw std::out_of_range("labels longer than the " + std::to_string(Table_size) + "-cell table");
    char field[16];
    std::string text = "    ";
    for (const char label : column_labels) {
        std::snprintf(field, sizeof field, "%-3c ", label);
        text += field;
    }
    text += '\n';
    for (std::size_t i = 0; i < row_labels.size(); ++i) {
        std::snprintf(field, sizeof field, "%-3c ", row_labels[i]);
        text += field;
        for (std::size_t j = 0; j < column_labels.size(); ++j) {
            std::snprintf(field, sizeof field, "%-3d ", table[i * Table_size + j]);
            text += field;
        }
        text += '\n';
    }
    return text;
}
