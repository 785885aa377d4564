#pragma once
// A hash table for many small entries: keys and values side by side in one array (open
// addressing, linear probing), with no node or pointer per entry. Keys come with
// KeyTraits (common/index_key.h): an Empty key, never stored, marks a free slot.
// The table grows by half before more than four fifths of its slots are taken, so that at
// least about half of them are always in use; reserve sizes it for a known number of entries
// exactly. Large slot arrays are given back to the system when the table grows.
//
//   FlatKeyTable<std::uint64_t, std::uint64_t> counts;
//   ++counts.insert(key, 0);
//   if (const std::uint64_t* count = counts.find(key)) ...
#include "common/index_key.h"
#include "common/page_allocator.h"

#include <cstddef>
#include <cstdint>
#include <vector>

template <typename Key, typename Value>
class FlatKeyTable {
public:
    // The value stored under key, or null.
    const Value* find(const Key& key) const
    {
        if (slots_.empty())
            return nullptr;
        for (std::size_t i = home(key);; i = next(i)) {
            const Slot& slot = slots_[i];
            if (slot.key == key)
                return &slot.value;
            if (slot.key == KeyTraits<Key>::Empty)
                return nullptr;
        }
    }

    // The value stored under key; absent, it is stored first with value initial.
    Value& insert(const Key& key, Value initial)
    {
        if ((size_ + 1) * 5 > slots_.size() * 4)
            grow();
        std::size_t i = home(key);
        for (; slots_[i].key != KeyTraits<Key>::Empty; i = next(i))
            if (slots_[i].key == key)
                return slots_[i].value;
        ++size_;
        slots_[i] = {key, initial};
        return slots_[i].value;
    }

    std::size_t size() const { return size_; }

    // Asks for the memory of key's slot ahead of an insert or find of it.
    void prefetch(const Key& key) const
    {
        if (!slots_.empty())
            __builtin_prefetch(&slots_[home(key)]);
    }

    // Makes room for entries in all without growing again.
    void reserve(std::size_t entries)
    {
        if (entries * 5 > slots_.size() * 4)
            rehash(entries * 5 / 4 + 1);
    }

    void clear()
    {
        slots_.clear();
        slots_.shrink_to_fit();
        size_ = 0;
    }

    // f(key, value) for every entry, in no particular order.
    template <typename F>
    void for_each(F&& f) const
    {
        for (const Slot& slot : slots_)
            if (slot.key != KeyTraits<Key>::Empty)
                f(slot.key, slot.value);
    }

private:
    struct Slot {
        Key key;
        Value value;
    };

    std::size_t next(std::size_t i) const { return i + 1 == slots_.size() ? 0 : i + 1; }
    // The hash scaled to the number of slots, which need not be a power of 2.
    std::size_t home(const Key& key) const
    {
        const unsigned __int128 product = static_cast<unsigned __int128>(KeyTraits<Key>::hash(key)) * slots_.size();
        return static_cast<std::size_t>(product >> 64);
    }

    void grow() { rehash(slots_.empty() ? 16 : slots_.size() + slots_.size() / 2); }

    void rehash(std::size_t slot_count)
    {
        Slots old(slot_count, Slot{KeyTraits<Key>::Empty, Value{}});
        old.swap(slots_);
        for (const Slot& slot : old) {
            if (slot.key == KeyTraits<Key>::Empty)
                continue;
            std::size_t i = home(slot.key);
            while (slots_[i].key != KeyTraits<Key>::Empty)
                i = next(i);
            slots_[i] = slot;
        }
    }

    using Slots = std::vector<Slot, PageAllocator<Slot>>;
    Slots slots_;
    std::size_t size_ = 0;
};
