#pragma once
// The keys of a lane's samples, each a variant of a sample's index text, with the samples
// that have it. Keys of letters A, C, G, N and T are packed (common/index_key.h)
// in flat tables; longer keys, and keys of other letters, are kept in an ordinary map. Built
// once per lane, then only read, from any number of threads.
//
//   SampleKeyTable table;
//   table.add("ACGTACGT", 0);
//   for (std::int16_t sample : table.find(spot_text)) ...
#include "common/flat_key_table.h"
#include "common/index_key.h"

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

class SampleKeyTable {
public:
    // Adds sample (0 to 32766) to the samples stored under key.
    void add(const std::string& key, std::int16_t sample);
    // The samples stored under key, in the order they were added; empty when absent.
    std::span<const std::int16_t> find(const std::string& key) const;

    // Makes room for keys distinct keys of the given number of letters, so that the table
    // does not grow (and hold its old and new slots at once) while they are added.
    void reserve(std::size_t keys, std::size_t letters);
    // Distinct keys.
    std::size_t size() const;
    void clear();

private:
    // A stored value is a sample position, or Several plus the index of a list in lists_.
    static constexpr std::uint32_t Several = 0x80000000u;

    void add_to(std::uint32_t& value, std::int16_t sample, bool inserted);
    std::span<const std::int16_t> samples_of(std::uint32_t value) const;

    FlatKeyTable<std::uint64_t, std::uint32_t> short_keys_;
    FlatKeyTable<IndexKey, std::uint32_t> long_keys_;
    std::unordered_map<std::string, std::uint32_t> other_keys_;
    std::vector<std::vector<std::int16_t>> lists_;
    // positions_[p] == p: the one-sample answer of find points here.
    std::vector<std::int16_t> positions_;
};
