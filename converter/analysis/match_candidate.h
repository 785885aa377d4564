#pragma once
// One place where an adapter matches a read, found by the adapter aligner.
#include <cstdint>

struct MatchCandidate {
    std::int32_t read_start = 0;    // first read base of the match (where the adapter begins)
    std::int32_t adapter_start = 0; // first adapter base of the match
    std::int32_t length = 0;        // adapter bases the match covers
    std::int32_t distance = 0;      // edit distance of the match
};
