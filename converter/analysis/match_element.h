#pragma once
// Observed-score counts of one quality score: aligned control-read bases that matched the
// control, and all aligned bases that count (matches, mismatches and insertions).
#include <cstdint>

struct MatchElement {
    std::uint64_t match = 0;
    std::uint64_t total = 0;
};
