#pragma once
// A hash table for many small entries: keys and values side by side in one array (open
// addressing, linear probing), with no node or pointer per entry. Keys come with
// KeyTraits (converter/analysis/index_key.h): an Empty key, never stored, marks a free slot.
// The table doubles before more than four fifths of its slots are taken.
//
//   FlatKeyTable<std::uint64_t, std::uint64_t> counts;
//   ++counts.insert(key, 0);
//   if (const std::uint64_t* count = counts.find(key)) ...
#include "converter/analysis/index_key.h"

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
        for (std::size_t i = home(key);; i = (i + 1) & mask()) {
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
        for (; slots_[i].key != KeyTraits<Key>::Empty; i = (i + 1) & mask())
            if (slots_[i].key == key)
                return slots_[i].value;
        ++size_;
        slots_[i] = {key, initial};
        return slots_[i].value;
    }

    std::size_t size() const { return size_; }

    // Makes room for entries in all without growing again.
    void reserve(std::size_t entries)
    {
        while (entries * 5 > slots_.size() * 4)
            grow();
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

    std::size_t mask() const { return slots_.size() - 1; }
    std::size_t home(const Key& key) const
    {
        return static_cast<std::size_t>(KeyTraits<Key>::hash(key)) & mask();
    }

    void grow()
    {
        std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size(), Slot{KeyTraits<Key>::Empty, Value{}});
        old.swap(slots_);
        for (const Slot& slot : old) {
            if (slot.key == KeyTraits<Key>::Empty)
                continue;
            std::size_t i = home(slot.key);
            while (slots_[i].key != KeyTraits<Key>::Empty)
                i = (i + 1) & mask();
            slots_[i] = slot;
        }
    }

    std::vector<Slot> slots_;
    std::size_t size_ = 0;
};
