#pragma once
// KmerTable: a lookup from short texts (k-mers of up to 30 letters) to a (record index, start)
// pair, filled once and read-only afterwards. Keys are entered in order and a key entered
// again takes the later value:
//   table.clear();
//   table.insert("ACGT...", {record, start});   // as often as needed
//   table.finish();                              // from here on `find` sees every key
//   if (const KmerTable::Value* hit = table.find(text)) use(hit->first, hit->second);
// Keys made only of A, C, G, T and N are packed three bits a letter into sorted 16-byte
// entries (the controls tables hold every one-letter variant of every k-mer, millions of keys
// for a few controls); any other key (a letter outside those five) goes to an ordinary hash
// map, so every text keeps its exact lookup.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class KmerTable {
public:
    using Value = std::pair<std::uint64_t, std::uint64_t>; // record index, start in the record

    static constexpr std::size_t Max_packed_length = 30;

    // Empties the table.
    void clear();
    // Makes room for about `keys` packed keys.
    void reserve(std::size_t keys);
    // Enters key -> value, replacing the value of an earlier entry of the same key.
    void insert(std::string_view key, const Value& value);
    // Sorts the entries, keeps the last value of every key and builds the bucket index.
    void finish();

    // The value of key (after finish), or nullptr.
    const Value* find(std::string_view key) const;
    // The memory, in bytes, of a table with that many packed and unpacked keys entered and
    // values, at most.
    static std::uint64_t estimated_bytes(std::uint64_t packed_keys, std::uint64_t other_keys, std::uint64_t values);

    // Distinct keys (after finish).
    std::size_t size() const { return entries_.size() + others_.size(); }
    bool empty() const { return size() == 0; }

private:
    // The key's two halves (mixed, 45 bits each) in the upper bits of the two words, the ordinal
    // of its value split over the 19 low bits of each.
    struct Entry {
        std::uint64_t high;
        std::uint64_t low;
    };

    std::uint64_t ordinal_of(const Value& value);

    std::vector<Entry> entries_;
    std::vector<std::uint32_t> buckets_{0, 0};              // first entry of each bucket, and the end
    unsigned bucket_shift_ = 45;                            // key half >> shift = bucket
    std::vector<Value> values_;                             // every value entered, once, in order
    std::unordered_map<std::string, std::uint64_t> others_; // unpacked keys -> ordinal
};
