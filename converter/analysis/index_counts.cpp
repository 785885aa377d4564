#include "converter/analysis/index_counts.h"

#include <algorithm>
#include <queue>

namespace {

// One entry while the top entries are chosen: a packed key, or the text of an entry kept
// unpacked.
struct Candidate {
    std::uint64_t count;
    IndexKey key;
    const std::string* text; // null for a packed key

    std::string full_text() const { return text ? *text : key.text(); }
};

// a comes before b: a higher count, or an equal count and a smaller text.
bool comes_before(const Candidate& a, const Candidate& b)
{
    if (a.count != b.count)
        return a.count > b.count;
    if (!a.text && !b.text)
        return a.key < b.key;
    return a.full_text() < b.full_text();
}

// f(key, count) for every entry of every part.
template <typename Parts, typename F>
void for_each_entry(const Parts& parts, F&& f)
{
    for (const auto& part : parts)
        part.for_each(f);
}

} // namespace

IndexCounts::IndexCounts(std::initializer_list<Entry> entries)
{
    for (const auto& [text, count] : entries)
        add(text, count);
}

void IndexCounts::add(const std::string& text, std::uint64_t count)
{
    IndexKey key;
    if (!IndexKey::pack(text, key))
        other_texts_[text] += count;
    else if (key.is_short())
        count_of(short_texts_, key.first) += count;
    else
        count_of(long_texts_, key) += count;
}

void IndexCounts::add(const IndexCounts& other)
{
    for_each_entry(other.short_texts_,
                   [&](std::uint64_t key, std::uint64_t count) { count_of(short_texts_, key) += count; });
    for_each_entry(other.long_texts_,
                   [&](const IndexKey& key, std::uint64_t count) { count_of(long_texts_, key) += count; });
    for (const auto& [text, count] : other.other_texts_)
        other_texts_[text] += count;
}

std::size_t IndexCounts::size() const
{
    std::size_t total = other_texts_.size();
    for (std::size_t p = 0; p < Parts; ++p)
        total += short_texts_[p].size() + long_texts_[p].size();
    return total;
}

std::vector<IndexCounts::Entry> IndexCounts::sorted() const
{
    std::vector<Entry> entries(other_texts_.begin(), other_texts_.end());
    for_each_entry(short_texts_, [&](std::uint64_t key, std::uint64_t count) {
        entries.emplace_back(IndexKey{key, 0}.text(), count);
    });
    for_each_entry(long_texts_,
                   [&](const IndexKey& key, std::uint64_t count) { entries.emplace_back(key.text(), count); });
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::vector<IndexCounts::Entry> IndexCounts::top(std::size_t n) const
{
    if (n == 0)
        return {};
    // The n best so far, the last of them on top.
    std::priority_queue<Candidate, std::vector<Candidate>, decltype(&comes_before)> best(comes_before);
    const auto offer = [&](const Candidate& candidate) {
        if (best.size() < n) {
            best.push(candidate);
        } else if (comes_before(candidate, best.top())) {
            best.pop();
            best.push(candidate);
        }
    };
    for_each_entry(short_texts_, [&](std::uint64_t key, std::uint64_t count) {
        offer({count, IndexKey{key, 0}, nullptr});
    });
    for_each_entry(long_texts_, [&](const IndexKey& key, std::uint64_t count) { offer({count, key, nullptr}); });
    for (const auto& [text, count] : other_texts_)
        offer({count, {}, &text});

    std::vector<Entry> entries(best.size());
    for (std::size_t i = entries.size(); i-- > 0; best.pop())
        entries[i] = {best.top().full_text(), best.top().count};
    return entries;
}
