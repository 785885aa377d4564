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
// The adapters come as AdapterPatterns, made once per index and shared. An aligner holds
// scratch only: it is built for the longest read and adapter it will see and reused for many
// reads; the text buffers and the result lists are allocated once, and the table that adapters
// too long for the bit-vector search need when the first of them comes.
#include "converter/analysis/adapter_patterns.h"
#include "converter/analysis/alignment_info.h"
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

    // True when one of the adapters matches the read; out then holds the best adapter's match.
    // Without a match (or without adapters) out has length 0. Throws std::invalid_argument
    // for adapters made for a lower error rate than the aligner's.
    bool align(const AdapterPatterns& adapters, const TwoBitSeq& read, AlignmentInfo& out);

    double max_error_rate;
    std::int32_t min_overlap;
    std::string read_text; // the read's letters, once a search needs them all
    // For adapters too long for a bit-vector pattern, made when first needed. Cells stay
    // exact while both lengths are below 255; longer reads need 16-bit cells.
    std::optional<std::variant<MatcherTable<unsigned char>, MatcherTable<std::uint16_t>>> table;
    std::vector<AlignmentInfo> alignments;               // one per adapter of the last index
    std::vector<std::vector<MatchCandidate>> candidates; // one list per adapter

private:
    int allowed_edits(int length) const { return AdapterPatterns::allowed_edits(length, max_error_rate); }
    void find_candidates(const TwoBitSeq& read, const AdapterPatterns::Adapter& adapter,
                         std::vector<MatchCandidate>& found);
    // The search of an adapter too long for a bit-vector pattern, on the table; e edits for
    // the whole adapter, from row first_row, and prefixes from first_prefix bases.
    void find_candidates_in_table(const TwoBitSeq& read, const std::string& adapter, int e, int first_row,
                                  int first_prefix, std::vector<MatchCandidate>& found);
    // For a read that no whole adapter fits: whether a prefix of first_prefix to m - 1 bases
    // of the pattern's adapter (m bases) may run off the read's end within its edits.
    bool end_may_hold_prefix(const TwoBitSeq& read, const LevenshteinPattern& pattern, int m, int first_prefix);
    // The read's letters in read_text, made once for all adapters of the read.
    void take_read_text(const TwoBitSeq& read);
    // Adds the candidates of the last column and row: distance(a, b) gives D(a, b) of the
    // read's first a bases against the adapter's first b, walk(i, j, c) the start of the
    // match ending at read base i and adapter base j.
    template <typename Distance, typename Walk>
    void add_candidates(int n, int m, int e, int first_row, int first_prefix, Distance distance, Walk walk,
                        std::vector<MatchCandidate>& found) const;

    int max_length_;
    // The table's last column and last row from the bit-vector search.
    std::vector<int> last_row_;
    std::vector<int> last_column_;
    LevenshteinPattern::Trace trace_;
    bool read_text_taken_ = false; // read_text holds the read of this call
    std::string tail_text_;        // the read's last letters, for a search of its end alone
};
