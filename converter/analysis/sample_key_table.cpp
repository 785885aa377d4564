#include "converter/analysis/sample_key_table.h"

#include <limits>

void SampleKeyTable::add(const std::string& key, std::int16_t sample)
{
    IndexKey packed;
    constexpr std::uint32_t None = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t* value = nullptr;
    if (!IndexKey::pack(key, packed))
        value = &other_keys_.try_emplace(key, None).first->second;
    else if (packed.is_short())
        value = &short_keys_.insert(packed.first, None);
    else
        value = &long_keys_.insert(packed, None);
    add_to(*value, sample, *value == None);
}

void SampleKeyTable::add_to(std::uint32_t& value, std::int16_t sample, bool inserted)
{
    while (positions_.size() <= static_cast<std::size_t>(sample))
        positions_.push_back(static_cast<std::int16_t>(positions_.size()));
    if (inserted) {
        value = static_cast<std::uint32_t>(sample);
        return;
    }
    if (!(value & Several)) {
        lists_.push_back({static_cast<std::int16_t>(value)});
        value = Several | static_cast<std::uint32_t>(lists_.size() - 1);
    }
    lists_[value & ~Several].push_back(sample);
}

std::span<const std::int16_t> SampleKeyTable::samples_of(std::uint32_t value) const
{
    if (value & Several)
        return lists_[value & ~Several];
    return {positions_.data() + value, 1};
}

std::span<const std::int16_t> SampleKeyTable::find(const std::string& key) const
{
    IndexKey packed;
    const std::uint32_t* value = nullptr;
    if (!IndexKey::pack(key, packed)) {
        const auto it = other_keys_.find(key);
        value = it == other_keys_.end() ? nullptr : &it->second;
    } else if (packed.is_short()) {
        value = short_keys_.find(packed.first);
    } else {
        value = long_keys_.find(packed);
    }
    return value ? samples_of(*value) : std::span<const std::int16_t>{};
}

void SampleKeyTable::reserve(std::size_t keys, std::size_t letters)
{
    if (letters <= IndexKey::Letters_per_word)
        short_keys_.reserve(keys);
    else if (letters <= IndexKey::Max_letters)
        long_keys_.reserve(keys);
}

std::size_t SampleKeyTable::size() const
{
    return short_keys_.size() + long_keys_.size() + other_keys_.size();
}

void SampleKeyTable::clear()
{
    short_keys_.clear();
    long_keys_.clear();
    other_keys_.clear();
    lists_.clear();
    positions_.clear();
}
