#pragma once
// Searches one read for the adapters of an index: every adapter is matched semi-globally
// against the read (the adapter from its first base, the read entered anywhere), and two kinds
// of match are kept as candidates:
//   - the whole adapter inside the read, within floor(s * max_error_rate) edits, s being the
//     shorter of the two lengths;
//   - an adapter prefix of min_overlap to m - 1 bases running off the read's end, within
//     floor(prefix * max_error_rate) edits.
// Each adapter's best candidate becomes its AlignmentInfo, and the best of those the result:
// ref_id = the adapter's position in the index, ref_start = where it begins in the read (the
// trim point), query_start = its first matched adapter base, length and distance as found.
//
// An aligner is built for the longest read and adapter it will see and reused for many reads:
// the text buffers and the result lists are allocated once, and the table that adapters too
// long for the bit-vector search need when the first of them comes.
#include "converter/analysis/alignment_info.h"
#include "converter/analysis/index.h"
#include "converter/analysis/levenshtein_pattern.h"
#include "converter/analysis/match_candidate.h"
#include "converter/analysis/matcher_table.h"
#include "converter/pipeline/two_bit_seq.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// True when a goes before b: more matched bases less edits, then fewer edits, then the match
// nearer the read's end.
bool compare_adapter_candidates(const MatchCandidate& a, const MatchCandidate& b);

// True when a goes before b: longer match (adapters without a match last), then fewer edits,
// then the later trim point, then the later adapter.
bool compare_adapter_alignments(const AlignmentInfo& a, const AlignmentInfo& b);

class AdapterAligner {
public:
    // max_length: the longest read or adapter that will be passed to align.
    AdapterAligner(int max_length, double max_error_rate, int min_overlap);

    // True when some adapter of the index matches the read; out then holds the best adapter's
    // match. Without a match (or with an empty index) out has length 0.
    bool align(const Index& index, const TwoBitSeq& read, AlignmentInfo& out);

    double max_error_rate;
    std::int32_t min_overlap;
    std::string adapter_text; // scratch: the letters of an adapter being taken in
    std::string read_text; // the read's letters, once a search needs them all
    // For adapters too long for a bit-vector pattern, made when first needed. Cells stay
    // exact while both lengths are below 255; longer reads need 16-bit cells.
    std::optional<std::variant<MatcherTable<unsigned char>, MatcherTable<std::uint16_t>>> table;
    std::vector<AlignmentInfo> alignments;           // one per adapter of the last index
    std::vector<std::vector<MatchCandidate>> candidates; // one list per adapter

private:
    // A quick test that rules out most reads: a whole adapter matched within e edits leaves
    // one of e + 1 pieces of it intact (an edit spoils at most one piece), so without an
    // exact copy of some piece in the read only an adapter prefix at the read's end can
    // match, and that depends on the read's last bases alone. Holds the first and the last q
    // letters of the first q + 1 of each piece, for the most edits the adapter allows, as a
    // set of 2q-bit codes.
    struct PieceFilter {
        int q = 0; // 0: no filter
        std::vector<std::uint64_t> codes;
        // Builds the filter of an adapter; none when its pieces would be too short to tell.
        void build(const std::string& adapter, int pieces);
        // False when no piece occurs in the read.
        bool may_hold(const TwoBitSeq& read) const;
    };

    void find_candidates(const TwoBitSeq& read, const std::string& adapter, const LevenshteinPattern* pattern,
                         const PieceFilter& filter, std::vector<MatchCandidate>& found);
    // Adds the candidates of the last column and row: distance(a, b) gives D(a, b) of the
    // read's first a bases against the adapter's first b, walk(i, j, c) the start of the
    // match ending at read base i and adapter base j.
    template <typename Distance, typename Walk>
    void add_candidates(int n, int m, int e, int first_row, int first_prefix, Distance distance, Walk walk,
                        std::vector<MatchCandidate>& found) const;

    // Per adapter position: the reference and text last seen there and its bit-vector
    // pattern (none when the adapter is too long for one), remade only when they change.
    std::vector<const TwoBitSeq*> adapter_refs_;
    std::vector<std::string> adapter_texts_;
    std::vector<std::optional<LevenshteinPattern>> patterns_;
    std::vector<PieceFilter> filters_;
    int max_length_;
    // The table's last column and last row from the bit-vector search.
    std::vector<int> last_row_;
    std::vector<int> last_column_;
    LevenshteinPattern::Trace trace_;
    bool read_text_taken_ = false; // read_text holds the read of this call
    std::string tail_text_;         // the read's last letters, for a search of its end alone
};
