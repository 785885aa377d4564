#pragma once
// A quick test that rules out most reads for one adapter: a whole adapter matched within e
// edits leaves one of e + 1 pieces of it intact (an edit spoils at most one piece), so without
// an exact copy of some piece in the read only an adapter prefix at the read's end can match,
// and that depends on the read's last bases alone. Holds the first and the last q letters of
// the first q + 1 of each piece, for the most edits the adapter allows, as a set of 2q-bit
// codes.
#include "converter/pipeline/two_bit_seq.h"

#include <cstdint>
#include <string>
#include <vector>

class AdapterPieceFilter {
public:
    // No filter: every read may hold the adapter.
    AdapterPieceFilter() = default;
    // The filter of an adapter cut into the given number of pieces; none when its pieces
    // would be too short to tell.
    AdapterPieceFilter(const std::string& adapter, int pieces);

    bool active() const { return q > 0; }
    // False when no piece occurs in the read; only for an active filter.
    bool may_hold(const TwoBitSeq& read) const;

private:
    int q = 0; // 0: no filter
    std::vector<std::uint64_t> codes;
};
