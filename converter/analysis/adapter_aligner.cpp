#include "converter/analysis/adapter_aligner.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace {

using Table8 = MatcherTable<unsigned char>;
using Table16 = MatcherTable<std::uint16_t>;

std::variant<Table8, Table16> make_table(int max_length)
{
    const auto n = static_cast<std::uint32_t>(max_length);
    if (max_length < 255)
        return std::variant<Table8, Table16>(std::in_place_type<Table8>, n, n);
    return std::variant<Table8, Table16>(std::in_place_type<Table16>, n, n);
}

} // namespace

bool compare_adapter_candidates(const MatchCandidate& a, const MatchCandidate& b)
{
    const int score_a = a.length - a.distance;
    const int score_b = b.length - b.distance;
    if (score_a != score_b)
        return score_a > score_b;
    if (a.distance != b.distance)
        return a.distance < b.distance;
    return a.read_start > b.read_start;
}

bool compare_adapter_alignments(const AlignmentInfo& a, const AlignmentInfo& b)
{
    if (a.length != b.length)
        return a.length > b.length;
    if (a.distance != b.distance)
        return a.distance < b.distance;
    if (a.ref_start != b.ref_start)
        return a.ref_start > b.ref_start;
    return a.ref_id > b.ref_id;
}

AdapterAligner::AdapterAligner(int max_length, double max_error_rate_, int min_overlap_)
    : max_error_rate(max_error_rate_), min_overlap(min_overlap_), max_length_(max_length)
{
    if (max_length < 0)
        throw std::invalid_argument("Adapter aligner length must not be negative: " + std::to_string(max_length));
    read_text.reserve(static_cast<std::size_t>(max_length));
}

void AdapterAligner::find_candidates(const TwoBitSeq& read, const AdapterPatterns::Adapter& adapter,
                                     std::vector<MatchCandidate>& found)
{
    const int n = read.length;
    const int m = static_cast<int>(adapter.text.size());
    if (n < 1 || m < 1)
        return;
    const int s = std::min(m, n);
    const int e = allowed_edits(s);
    const int first_row = std::max(0, s - e - 1);
    const int first_prefix = std::max(min_overlap, 1);
    if (!adapter.pattern) {
        find_candidates_in_table(read, adapter.text, e, first_row, first_prefix, found);
        return;
    }
    // Most reads hold no adapter: the last column and row of the table, computed on bit
    // vectors, tell whether any candidate exists, and the walks back run on the same vectors.
    const LevenshteinPattern& pattern = *adapter.pattern;
    if (adapter.filter.active() && !adapter.filter.may_hold(read) &&
        !end_may_hold_prefix(read, pattern, m, first_prefix))
        return;
    take_read_text(read);
    pattern.search(read_text, last_row_, last_column_, trace_);
    add_candidates(
        n, m, e, first_row, first_prefix,
        [&](int a, int b) {
            return a == n ? last_column_[static_cast<std::size_t>(b)] : last_row_[static_cast<std::size_t>(a - 1)];
        },
        [&](int i, int j, MatchCandidate& c) {
            pattern.trace_back(trace_, read_text, i, j, c.read_start, c.adapter_start);
        },
        found);
}

void AdapterAligner::find_candidates_in_table(const TwoBitSeq& read, const std::string& adapter, int e, int first_row,
                                              int first_prefix, std::vector<MatchCandidate>& found)
{
    const int n = read.length;
    const int m = static_cast<int>(adapter.size());
    take_read_text(read);
    if (!table)
        table = make_table(max_length_);
    std::visit(
        [&](auto& dp) {
            dp.populate_levenshtein(read_text.data(), adapter.data(), static_cast<std::uint32_t>(n),
                                    static_cast<std::uint32_t>(m), std::decay_t<decltype(dp)>::Semi_global);
            add_candidates(
                n, m, e, first_row, first_prefix,
                [&](int a, int b) {
                    return dp.get_distance(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b));
                },
                [&](int i, int j, MatchCandidate& c) {
                    int insertions = 0;
                    int deletions = 0;
                    dp.backtrack_levenshtein(i, j, c.read_start, c.adapter_start, insertions, deletions);
                },
                found);
        },
        *table);
}

bool AdapterAligner::end_may_hold_prefix(const TwoBitSeq& read, const LevenshteinPattern& pattern, int m,
                                         int first_prefix)
{
    // A prefix of L bases within its edits lies in the read's last L + floor(L * rate) bases,
    // so the search over those gives its exact costs.
    const int n = read.length;
    const int longest = m - 1;
    const int tail = std::min(n, longest + allowed_edits(longest));
    if (tail < 1)
        return false;
    read.seq_to_string(tail_text_, n - tail, tail);
    pattern.search(tail_text_, last_row_, last_column_);
    bool any = false;
    for (int length = first_prefix; length < m && !any; ++length)
        any = last_column_[static_cast<std::size_t>(length)] <= allowed_edits(length);
    return any;
}

void AdapterAligner::take_read_text(const TwoBitSeq& read)
{
    if (!read_text_taken_)
        read.seq_to_string(read_text);
    read_text_taken_ = true;
}

template <typename Distance, typename Walk>
void AdapterAligner::add_candidates(int n, int m, int e, int first_row, int first_prefix, Distance distance, Walk walk,
                                    std::vector<MatchCandidate>& found) const
{
    auto add = [&](int i, int j, int length, int d) {
        MatchCandidate c;
        walk(i, j, c);
        c.length = length;
        c.distance = d;
        found.push_back(c);
    };
    // The whole adapter inside the read: the last column, from the first row where it can
    // be within the bound.
    for (int i = first_row; i < n; ++i) {
        const int d = distance(i + 1, m);
        if (d <= e)
            add(i, m - 1, std::min(m, i + 1), d);
    }
    // An adapter prefix running off the read's end: the last row.
    for (int length = first_prefix; length < m; ++length) {
        const int d = distance(n, length);
        if (d <= allowed_edits(length))
            add(n - 1, length - 1, std::min(n, length), d);
    }
}

bool AdapterAligner::align(const AdapterPatterns& adapters, const TwoBitSeq& read, AlignmentInfo& out)
{
    // The piece filters rule out reads by the most edits they were made for.
    if (adapters.max_error_rate < max_error_rate)
        throw std::invalid_argument("Adapter patterns made for an error rate below the aligner's");
    const std::size_t count = adapters.adapters.size();
    alignments.resize(count);
    if (candidates.size() < count)
        candidates.resize(count);
    if (count == 0) {
        out.clear();
        return false;
    }

    read_text_taken_ = false;
    for (std::size_t r = 0; r < count; ++r) {
        AlignmentInfo& info = alignments[r];
        info.clear();
        info.ref_id = static_cast<std::int32_t>(r);

        std::vector<MatchCandidate>& found = candidates[r];
        found.clear();
        find_candidates(read, adapters.adapters[r], found);

        if (found.empty()) {
            info.ref_id = -1;
            continue;
        }
        // The first in candidate order; the whole list need not be sorted.
        const MatchCandidate& best = *std::min_element(found.begin(), found.end(), compare_adapter_candidates);
        info.query_start = best.adapter_start;
        info.ref_start = best.read_start;
        info.length = best.length;
        info.distance = best.distance;
    }

    out = *std::min_element(alignments.begin(), alignments.end(), compare_adapter_alignments);
    return out.length > 0;
}
