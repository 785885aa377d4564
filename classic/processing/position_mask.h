#pragma once
// How many reads of a tile have a spot at each position, for the filter that keeps a spot only
// where every read of the tile has one spot and no read has two. Entries are kept in a hash map
// keyed by (x, y), so the memory follows the number of spots, never the size of the coordinates.
// When some read of the tile has no positions, the spots are keyed by their number instead, so
// that a spot dropped from one read is still dropped from every read.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_map>

// The value a positions file could not give: a float that is not a number or lies outside the
// range of int. Written as "NA" in record names; like every negative value it is no position.
inline constexpr std::int32_t No_position = std::numeric_limits<std::int32_t>::min();

class PositionMask {
public:
    // Forgets every entry; by_spot tells how the entries that follow are keyed.
    void clear(bool by_spot = false)
    {
        cells_.clear();
        by_spot_ = by_spot;
    }
    void reserve(std::size_t count) { cells_.reserve(count); }

    bool by_spot() const { return by_spot_; }
    bool empty() const { return cells_.empty(); }
    std::size_t size() const { return cells_.size(); }
    // The number of positions whose entry is value.
    std::size_t count(unsigned char value) const
    {
        return static_cast<std::size_t>(
            std::count_if(cells_.begin(), cells_.end(), [value](const auto& cell) { return cell.second == value; }));
    }

    // The key of a position; only positions with x >= 0 and y >= 0 are entered.
    static std::uint64_t key(std::int32_t x, std::int32_t y)
    {
        return std::uint64_t(std::uint32_t(x)) << 32 | std::uint32_t(y);
    }

    // The entry of the key, made 0 when missing.
    unsigned char& operator[](std::uint64_t key) { return cells_[key]; }
    // The entry of the key, or null.
    unsigned char* find(std::uint64_t key)
    {
        auto entry = cells_.find(key);
        return entry == cells_.end() ? nullptr : &entry->second;
    }

private:
    std::unordered_map<std::uint64_t, unsigned char> cells_;
    bool by_spot_ = false;
};
