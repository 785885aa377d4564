#pragma once
// A map from (lane index, index text) to a value, for the demultiplexing table and the counts of
// undetermined index texts, each of which can hold millions of texts. Texts of letters A, C, G,
// N and T are packed (common/index_key.h) into flat tables, spread by hash over Parts tables
// per lane so that a table that grows holds its old and new slots at once for a small part of
// the texts only: up to 21 letters in 16 bytes a slot, up to 42 letters in 24. Longer texts,
// and texts of other letters, go to an ordinary map.
//
//   IndexTable<short> table;
//   table.insert(0, "ACGTACGT") = sample;        // stored (made with Value{} when new)
//   table.insert_later(0, "ACGTACGA", sample);   // many of them, then
//   table.flush();
//   if (const short* sample = table.find(0, text)) ...
//   table.for_each([](short lane, const std::string& text, short value) { ... });
#include "common/flat_key_table.h"
#include "common/index_key.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

template <typename Value>
class IndexTable {
public:
    static constexpr std::size_t Parts = 64;

    // The value stored under (lane, text); absent, it is stored first as Value{}.
    Value& insert(short lane, std::string_view text)
    {
        Lane& texts = lanes_[lane];
        IndexKey key;
        if (!IndexKey::pack(text, key))
            return texts.other_texts[std::string(text)];
        if (key.is_short())
            return part_of(texts.short_texts, key.first).insert(key.first, Value{});
        return part_of(texts.long_texts, key).insert(key, Value{});
    }

    // Stores value under (lane, text), at the latest when flush is called (find and size see it
    // only then): texts of up to 21 letters are held and then stored in the order given, the
    // memory of each asked for ahead, which is quicker in a table much larger than the
    // processor's caches; other texts are stored at once, after those held.
    void insert_later(short lane, std::string_view text, Value value)
    {
        IndexKey key;
        if (!IndexKey::pack(text, key) || !key.is_short()) {
            flush();
            insert(lane, text) = value;
            return;
        }
        pending_.push_back({lane, key.first, value});
        if (pending_.size() >= Pending)
            flush();
    }
    void flush()
    {
        for (const Held& held : pending_)
            part_of(lanes_[held.lane].short_texts, held.key).prefetch(held.key);
        for (const Held& held : pending_)
            part_of(lanes_[held.lane].short_texts, held.key).insert(held.key, Value{}) = held.value;
        pending_.clear();
    }

    // The value stored under (lane, text), or null.
    const Value* find(short lane, std::string_view text) const
    {
        const auto texts = lanes_.find(lane);
        if (texts == lanes_.end())
            return nullptr;
        IndexKey key;
        if (!IndexKey::pack(text, key)) {
            const auto other = texts->second.other_texts.find(text);
            return other == texts->second.other_texts.end() ? nullptr : &other->second;
        }
        if (key.is_short())
            return part_of(texts->second.short_texts, key.first).find(key.first);
        return part_of(texts->second.long_texts, key).find(key);
    }

    // Adds every value of other to the value of its key here.
    void add(const IndexTable& other)
    {
        other.for_each(
            [this](short lane, const std::string& text, const Value& value) { insert(lane, text) += value; });
    }

    // f(lane, text, value) for every entry, in no particular order.
    template <typename F>
    void for_each(F&& f) const
    {
        for (const auto& entry : lanes_) {
            const short lane = entry.first;
            const Lane& texts = entry.second;
            for (const auto& part : texts.short_texts)
                part.for_each([&](std::uint64_t key, const Value& value) { f(lane, IndexKey{key, 0}.text(), value); });
            for (const auto& part : texts.long_texts)
                part.for_each([&](const IndexKey& key, const Value& value) { f(lane, key.text(), value); });
            for (const auto& [text, value] : texts.other_texts)
                f(lane, text, value);
        }
    }

    std::size_t size() const
    {
        std::size_t total = 0;
        for (const auto& [lane, texts] : lanes_) {
            total += texts.other_texts.size();
            for (std::size_t p = 0; p < Parts; ++p)
                total += texts.short_texts[p].size() + texts.long_texts[p].size();
        }
        return total;
    }
    bool empty() const { return lanes_.empty(); }
    void clear() { lanes_.clear(); }

private:
    template <typename Key>
    using Table = std::array<FlatKeyTable<Key, Value>, Parts>;

    struct Lane {
        Table<std::uint64_t> short_texts;
        Table<IndexKey> long_texts;
        std::map<std::string, Value, std::less<>> other_texts;
    };

    template <typename Key>
    static FlatKeyTable<Key, Value>& part_of(Table<Key>& table, const Key& key)
    {
        return table[KeyTraits<Key>::hash(key) % Parts];
    }
    template <typename Key>
    static const FlatKeyTable<Key, Value>& part_of(const Table<Key>& table, const Key& key)
    {
        return table[KeyTraits<Key>::hash(key) % Parts];
    }

    struct Held {
        short lane;
        std::uint64_t key;
        Value value;
    };
    static constexpr std::size_t Pending = 1024;

    std::map<short, Lane> lanes_;
    std::vector<Held> pending_;
};
