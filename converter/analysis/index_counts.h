#pragma once
// How often each index text occurred, kept exactly for the undetermined and ambiguous index
// texts of a lane, which can be as many as the lane's spots. Texts of letters A, C, G, N and T
// are kept packed (common/index_key.h) in flat tables: up to 21 letters in 16
// bytes a slot, up to 42 letters in 24; longer texts, and texts of other letters, in an
// ordinary map. Each kind is spread over Parts tables by hash, so that a table that doubles
// holds its old and new slots at once for a small part of the texts only.
//
//   IndexCounts counts;
//   counts.add("ACGTACGTNNCCGGTT");
//   counts.add(other_chunk_counts);
//   for (const auto& [text, count] : counts.top(100)) ...
#include "common/flat_key_table.h"
#include "common/index_key.h"

#include <array>
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

    static constexpr std::size_t Parts = 64;

private:
    template <typename Key>
    using Table = std::array<FlatKeyTable<Key, std::uint64_t>, Parts>;

    template <typename Key>
    static std::uint64_t& count_of(Table<Key>& table, const Key& key)
    {
        return table[KeyTraits<Key>::hash(key) % Parts].insert(key, 0);
    }

    Table<std::uint64_t> short_texts_;
    Table<IndexKey> long_texts_;
    std::map<std::string, std::uint64_t> other_texts_;
};
