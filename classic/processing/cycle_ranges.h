#pragma once
// The cycles of a read that a legacy sample sheet gives to its index and UMI reads, cut out of a
// record's sequence and quality texts.
#include <map>
#include <string>

namespace classic {

// ranges: first cycle -> last cycle (1-based, inclusive). Ranges that overlap or nest are joined
// into their union first, so every cycle is cut once. Where the cut leaves nothing of a record,
// it becomes the placeholder "N" with quality "!".
void cut_cycle_ranges(const std::map<int, int>& ranges, std::string& sequence, std::string& quality);

} // namespace classic
