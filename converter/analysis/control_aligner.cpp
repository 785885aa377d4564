#include "converter/analysis/control_aligner.h"

#include "converter/app/run_abort.h"

#include <algorithm>
#include <cstdio>

namespace {

// Orders the hits of one reference by reference position, then by read position (the order
// in which they were found), so that chaining is deterministic.
inline std::uint64_t hit_order_key(std::uint64_t hit)
{
    return hit << 24 | hit >> 40;
}

} // namespace

bool compare_control_alignments(const AlignmentInfo& a, const AlignmentInfo& b)
{
    if (a.chains.empty() || b.chains.empty())
        return !a.chains.empty() && b.chains.empty();
    if (a.chains.front().size() != b.chains.front().size())
        return a.chains.front().size() > b.chains.front().size();
    if (a.length != b.length)
        return a.length > b.length;
    if (a.ref_start != b.ref_start)
        return a.ref_start > b.ref_start;
    return a.ref_id > b.ref_id;
}

std::string print_hit(std::uint64_t hit)
{
    return "query off: " + std::to_string(hit_bits::query_position(hit)) +
           " ref_id: " + std::to_string(hit_bits::ref_id(hit)) +
           " ref_offset: " + std::to_string(hit_bits::ref_position(hit));
}

ControlAligner::ControlAligner(int max_length, int w_, int k_, int minchain_, int maxgap_, bool full_alignment_)
    : w(w_), k(k_), minchain(minchain_), maxgap(maxgap_), full_alignment(full_alignment_),
      minimizers(max_length, w_, k_)
{
    if (full_alignment) {
        const auto n = static_cast<std::uint32_t>(std::max(max_length, 0));
        if (max_length < 255)
            table = std::make_unique<MatcherTable<unsigned char>>(n, n);
        else
            wide_table = std::make_unique<MatcherTable<std::uint16_t>>(n, n);
    }
    read_text.reserve(static_cast<std::size_t>(std::max(max_length, 0)));
    ref_text.reserve(static_cast<std::size_t>(std::max(max_length, 0)));
}

void ControlAligner::recycle(AlignmentInfo& info)
{
    for (auto& chain : info.chains) {
        chain.clear();
        spare_chains_.push_back(std::move(chain));
    }
    info.clear();
}

bool ControlAligner::align(const Index& index, const TwoBitSeq& read, AlignmentInfo& out)
{
    if (index.w != w || index.k != k) {
        std::fputs("Aligner::align - mismatch in k,w\n", stderr);
        abort_run("Aligner::align - mismatch in k,w");
    }

    const std::size_t references = index.refs.size();
    if (references == 0) {
        // An empty control sequence gives an index without references: nothing to align to.
        recycle(out);
        return false;
    }
    alignments.resize(references);
    for (std::size_t i = 0; i < references; ++i) {
        recycle(alignments[i]);
        alignments[i].ref_id = static_cast<std::int32_t>(i);
    }

    // Hits: every index hit of every read minimizer, with the read position added.
    int count = 0;
    if (read.length > 0) {
        minimizers.compute_quick(read.packed.data(), read.length);
        count = minimizers.count;
    }
    for (int m = 0; m < count; ++m) {
        const auto i = static_cast<std::size_t>(m);
        const std::uint64_t query = static_cast<std::uint64_t>(minimizers.positions[i]) << 40;
        for (const std::uint64_t hit : index.find_hits(minimizers.values[i])) {
            const auto id = static_cast<std::size_t>(hit_bits::ref_id(hit));
            if (id < references)
                alignments[id].hits.push_back((hit & 0xFF'FFFF'FFFFull) | query);
        }
    }

    for (AlignmentInfo& info : alignments) {
        info.far_secondary = 0;
        if (static_cast<int>(info.hits.size()) < minchain)
            continue;
        std::sort(info.hits.begin(), info.hits.end(),
                  [](std::uint64_t a, std::uint64_t b) { return hit_order_key(a) < hit_order_key(b); });
        find_chains(info);
        if (!info.chains.empty())
            align_reference(index, read, info);
    }

    if (references > 1)
        std::sort(alignments.begin(), alignments.end(), compare_control_alignments);
    // The best result changes places with the caller's object: its lists come back to this
    // aligner for reuse instead of being copied.
    std::swap(out, alignments.front());
    return out.length > 0;
}

void ControlAligner::find_chains(AlignmentInfo& info)
{
    const std::vector<std::uint64_t>& hits = info.hits;
    const auto n = static_cast<std::uint32_t>(hits.size());
    const auto min_size = static_cast<std::uint32_t>(std::max(minchain, 0));
    runs_.clear();
    std::uint32_t first = 0;
    for (std::uint32_t i = 1; i <= n; ++i) {
        bool continues = false;
        if (i < n) {
            const long long dr =
                static_cast<long long>(hit_bits::ref_position(hits[i])) - hit_bits::ref_position(hits[i - 1]);
            const long long dq =
                static_cast<long long>(hit_bits::query_position(hits[i])) - hit_bits::query_position(hits[i - 1]);
            const long long drift = dr > dq ? dr - dq : dq - dr;
            continues = dr >= 1 && dr <= maxgap && dq >= 1 && dq <= maxgap && drift < 9;
        }
        if (!continues) {
            if (i - first >= min_size)
                runs_.emplace_back(first, i - first);
            first = i;
        }
    }

    // Largest first; equal sizes keep their order (an insertion sort: stable, and there are
    // only a few chains).
    for (std::size_t i = 1; i < runs_.size(); ++i) {
        const auto run = runs_[i];
        std::size_t j = i;
        for (; j > 0 && runs_[j - 1].second < run.second; --j)
            runs_[j] = runs_[j - 1];
        runs_[j] = run;
    }

    for (const auto& [start, size] : runs_) {
        if (spare_chains_.empty()) {
            info.chains.emplace_back();
        } else {
            info.chains.push_back(std::move(spare_chains_.back()));
            spare_chains_.pop_back();
        }
        info.chains.back().assign(hits.begin() + start, hits.begin() + start + size);
    }
}

void ControlAligner::align_reference(const Index& index, const TwoBitSeq& read, AlignmentInfo& info)
{
    const std::vector<std::uint64_t>& best = info.chains.front();
    const int read_length = read.length;

    if (info.chains.size() > 1) {
        const std::vector<std::uint64_t>& second = info.chains[1];
        const long long apart =
            static_cast<long long>(hit_bits::ref_position(best.front())) - hit_bits::ref_position(second.front());
        info.far_secondary =
            static_cast<int>(second.size()) > minchain && (apart < 0 ? -apart : apart) > read_length + 200;
    }

    // The window on the diagonal of the best chain's first hit, cut at the reference's end.
    const long long q = hit_bits::query_position(best.front());
    const long long r = hit_bits::ref_position(best.front());
    long long query_start = 0;
    long long ref_start = 0;
    long long length = 0;
    if (r >= q) {
        ref_start = r - q;
        length = read_length;
    } else {
        query_start = q - r;
        length = read_length - (q - r);
    }
    const TwoBitSeq& reference = *index.refs[static_cast<std::size_t>(info.ref_id)];
    length = std::min(length, static_cast<long long>(reference.length) - ref_start);
    info.query_start = static_cast<std::int32_t>(query_start);
    info.ref_start = static_cast<std::int32_t>(ref_start);
    info.length = static_cast<std::int32_t>(length);

    if (full_alignment && !info.far_secondary && info.length > 0) {
        read.seq_to_string(read_text, info.query_start, info.length);
        reference.seq_to_string(ref_text, info.ref_start, info.length);
        if (table)
            align_window(*table, info);
        else
            align_window(*wide_table, info);
    }

    const double spanned = static_cast<double>(hit_bits::query_position(best.back())) + k -
                           static_cast<double>(hit_bits::query_position(best.front()));
    info.coverage = std::min(1.0, spanned / read_length);
}

template <typename Cell>
void ControlAligner::align_window(MatcherTable<Cell>& matcher, AlignmentInfo& info)
{
    const auto n = static_cast<std::uint32_t>(info.length);
    matcher.populate_levenshtein(ref_text.data(), read_text.data(), n, n, MatcherTable<Cell>::Global);
    matcher.get_levenshtein_cigar_code(info.cigar, 'N');
    info.distance = matcher.get_distance(n, n);
}
