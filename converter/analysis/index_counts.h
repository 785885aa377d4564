#pragma once
// How often each index text occurred, kept exactly for the undetermined and ambiguous index
// texts of a lane, which can be as many as the lane's spots. Texts of letters A, C, G, N and T
// are kept packed (converter/analysis/index_key.h) in flat tables: up to 21 letters in 16
// bytes a slot, up to 42 letters in 24; longer texts, and texts of other letters, in an
// ordinary map.
//
//   IndexCounts counts;
//   counts.add("ACGTACGTNNCCGGTT");
//   counts.add(other_chunk_counts);
//   for (const auto& [text, count] : counts.top(100)) ...
#include "converter/analysis/flat_key_table.h"
#include "converter/analysis/index_key.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

class IndexCounts {
public:
    using Entry = std::pair<std::string, std::uint64_t>;

    IndexCounts() = default;
    IndexCounts(std::initializer_list<Entry> entries);

    void add(const std::string& text, std::uint64_t count = 1);
    // Adds every count of other.
    void add(const IndexCounts& other);

    std::size_t size() const;
    bool empty() const { return size() == 0; }

    // Every entry, in ascending text order.
    std::vector<Entry> sorted() const;
    // The entries with the highest counts, at most n: highest count first, and among equal
    // counts in ascending text order.
    std::vector<Entry> top(std::size_t n) const;

    friend bool operator==(const IndexCounts& a, const IndexCounts& b) { return a.sorted() == b.sorted(); }

private:
    FlatKeyTable<std::uint64_t, std::uint64_t> short_texts_;
    FlatKeyTable<IndexKey, std::uint64_t> long_texts_;
    std::map<std::string, std::uint64_t> other_texts_;
};
