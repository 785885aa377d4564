#include "classic/processing/cycle_ranges.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace classic {

void cut_cycle_ranges(const std::map<int, int>& ranges, std::string& sequence, std::string& quality)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> joined;
    for (const auto& [start, stop] : ranges) {
        if (start < 1 || stop < start)
            continue;
        if (!joined.empty() && start <= joined.back().second)
            joined.back().second = std::max<std::int64_t>(joined.back().second, stop);
        else
            joined.emplace_back(start, stop);
    }
    // Each range is shifted by the cycles already cut before it.
    std::int64_t shift = 0;
    for (const auto& [start, stop] : joined) {
        const std::int64_t s = start - shift;
        const std::int64_t e = stop - shift;
        const auto n = static_cast<std::int64_t>(sequence.size());
        if (n <= e) {
            if (n < s) {
            } else if (s < 2) {
                sequence = "N";
                quality = "!";
            } else {
                sequence.resize(std::size_t(s - 1));
                quality.resize(std::min(quality.size(), std::size_t(s - 1)));
            }
        } else if (s < 2) {
            sequence.erase(0, std::size_t(e));
            quality.erase(0, std::min(quality.size(), std::size_t(e)));
        } else {
            sequence.erase(std::size_t(s - 1), std::size_t(e - s + 1));
            if (quality.size() > std::size_t(s - 1))
                quality.erase(std::size_t(s - 1), std::size_t(e - s + 1));
        }
        shift += stop - start + 1;
    }
}

} // namespace classic
