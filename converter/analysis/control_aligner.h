#pragma once
// Aligns a read to the references of a control index (a control and its reverse complement):
// shared minimizers become hits, hits on one diagonal become chains, and the reference with
// the best chain wins. With full_alignment the read is also aligned base by base to the
// reference window on the best chain's diagonal, giving a CIGAR.
//
// One aligner serves one thread: its buffers are sized once for the longest read and reused
// for every read, so aligning allocates nothing once the buffers have grown.
#include "converter/analysis/alignment_info.h"
#include "converter/analysis/index.h"
#include "converter/analysis/matcher_table.h"
#include "converter/analysis/minimizers.h"
#include "converter/pipeline/two_bit_seq.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// True when a goes before b: aligned references first, then the larger best chain, the longer
// window, the later window start and the higher reference id (so a full tie goes to the
// reverse complement).
bool compare_control_alignments(const AlignmentInfo& a, const AlignmentInfo& b);

// "query off: Q ref_id: I ref_offset: R".
std::string print_hit(std::uint64_t hit);

class ControlAligner {
public:
    // max_length: the longest read the aligner takes.
    ControlAligner(int max_length, int w, int k, int minchain, int maxgap, bool full_alignment);

    // True when the read aligns to some reference of index; out then holds the best
    // reference's result. An index without references never aligns. Ends the process when the
    // index was built with another w or k.
    bool align(const Index& index, const TwoBitSeq& read, AlignmentInfo& out);

    std::int32_t w;
    std::int32_t k;
    std::int32_t minchain;
    std::int32_t maxgap;
    bool full_alignment;
    // The base-level tables, present only with full_alignment: 8-bit cells for reads below
    // 255 bases, 16-bit cells for longer ones.
    std::unique_ptr<MatcherTable<unsigned char>> table;
    std::unique_ptr<MatcherTable<std::uint16_t>> wide_table;
    Minimizers minimizers;
    std::string read_text;
    std::string ref_text;
    std::vector<AlignmentInfo> alignments; // one per reference

private:
    void find_chains(AlignmentInfo& info);
    void align_reference(const Index& index, const TwoBitSeq& read, AlignmentInfo& info);
    template <typename Cell>
    void align_window(MatcherTable<Cell>& matcher, AlignmentInfo& info);
    // Empties info, keeping its chain lists for reuse.
    void recycle(AlignmentInfo& info);

    std::vector<std::vector<std::uint64_t>> spare_chains_;
    // Runs of hits [first, first + size) found while chaining one reference.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs_;
};
