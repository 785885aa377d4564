#include "classic/processing/kmer_table.h"

#include "common/base_code.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace {

constexpr unsigned Half_bits = 45; // 15 letters of 3 bits
constexpr std::uint64_t Half_mask = (std::uint64_t{1} << Half_bits) - 1;
constexpr unsigned Ordinal_bits = 19; // in each word
constexpr std::uint64_t Ordinal_mask = (std::uint64_t{1} << Ordinal_bits) - 1;
constexpr std::uint64_t Max_ordinals = std::uint64_t{1} << (2 * Ordinal_bits);

// 1 to 5 for A, C, G, T and N, 0 for any other character. No letter packs as 0, so keys of
// different lengths never pack alike.
constexpr std::array<unsigned char, 256> Letter_codes = [] {
    std::array<unsigned char, 256> codes{};
    for (std::size_t c = 0; c < codes.size(); ++c) {
        const unsigned char position = base_code::Letter_positions[c];
        codes[c] = position == base_code::Not_a_letter ? 0 : static_cast<unsigned char>(position + 1);
    }
    return codes;
}();

unsigned letter_code(char c)
{
    return Letter_codes[static_cast<unsigned char>(c)];
}

std::uint64_t scramble(std::uint64_t x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

// Packs the first half of the key's letters into a and the rest into b, then shuffles the two
// with three Feistel rounds: a one-to-one map (equal halves still mean equal keys) whose upper
// bits spread evenly over the buckets. False for keys that do not pack.
bool pack(std::string_view key, std::uint64_t& a, std::uint64_t& b)
{
    if (key.size() > KmerTable::Max_packed_length)
        return false;
    const std::size_t half = (key.size() + 1) / 2;
    a = 0;
    b = 0;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const unsigned code = letter_code(key[i]);
        if (code == 0)
            return false;
        std::uint64_t& word = i < half ? a : b;
        word = word << 3 | code;
    }
    a ^= scramble(b) & Half_mask;
    b ^= scramble(a) & Half_mask;
    a ^= scramble(b) & Half_mask;
    return true;
}

std::uint64_t ordinal_of_words(std::uint64_t high, std::uint64_t low)
{
    return (high & Ordinal_mask) << Ordinal_bits | (low & Ordinal_mask);
}

} // namespace

std::uint64_t KmerTable::estimated_bytes(std::uint64_t packed_keys, std::uint64_t other_keys, std::uint64_t values)
{
    // A packed key's entry, and its share of the buckets: at most one bucket per two entries.
    constexpr std::uint64_t Packed_key_bytes = sizeof(Entry) + sizeof(std::uint32_t) / 2;
    // An unpacked key's node in the hash map, its text and its bucket.
    constexpr std::uint64_t Other_key_bytes = 128;
    return packed_keys * Packed_key_bytes + other_keys * Other_key_bytes + values * sizeof(Value);
}

void KmerTable::clear()
{
    entries_.clear();
    buckets_.assign(2, 0);
    bucket_shift_ = Half_bits;
    values_.clear();
    others_.clear();
}

void KmerTable::reserve(std::size_t keys)
{
    entries_.reserve(keys);
}

std::uint64_t KmerTable::ordinal_of(const Value& value)
{
    if (values_.empty() || values_.back() != value) {
        if (values_.size() == Max_ordinals)
            throw std::length_error("KmerTable: too many values");
        values_.push_back(value);
    }
    return values_.size() - 1;
}

void KmerTable::insert(std::string_view key, const Value& value)
{
    const std::uint64_t ordinal = ordinal_of(value);
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (!pack(key, a, b)) {
        others_[std::string(key)] = ordinal;
        return;
    }
    entries_.push_back({a << Ordinal_bits | ordinal >> Ordinal_bits, b << Ordinal_bits | (ordinal & Ordinal_mask)});
}

void KmerTable::finish()
{
    auto key_less = [](const Entry& x, const Entry& y) {
        const std::uint64_t xa = x.high >> Ordinal_bits;
        const std::uint64_t ya = y.high >> Ordinal_bits;
        return xa != ya ? xa < ya : x.low >> Ordinal_bits < y.low >> Ordinal_bits;
    };
    std::sort(entries_.begin(), entries_.end(), key_less);

    // Of the entries of one key keep the one entered last: the highest ordinal.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries_.size();) {
        std::size_t last = i;
        std::size_t j = i + 1;
        for (; j < entries_.size() && !key_less(entries_[i], entries_[j]); ++j) {
            if (ordinal_of_words(entries_[j].high, entries_[j].low) >
                ordinal_of_words(entries_[last].high, entries_[last].low))
                last = j;
        }
        entries_[kept++] = entries_[last];
        i = j;
    }
    entries_.resize(kept);
    if (entries_.size() >= UINT32_MAX)
        throw std::length_error("KmerTable: too many keys");

    // About two entries a bucket, found by the upper bits of the first key half.
    unsigned bucket_bits = 0;
    while (bucket_bits < Half_bits && std::size_t{4} << bucket_bits <= entries_.size())
        ++bucket_bits;
    bucket_shift_ = Half_bits - bucket_bits;
    buckets_.assign((std::size_t{1} << bucket_bits) + 1, 0);
    for (const Entry& entry : entries_)
        ++buckets_[((entry.high >> Ordinal_bits) >> bucket_shift_) + 1];
    for (std::size_t i = 1; i < buckets_.size(); ++i)
        buckets_[i] += buckets_[i - 1];
}

const KmerTable::Value* KmerTable::find(std::string_view key) const
{
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (!pack(key, a, b)) {
        const auto other = others_.find(std::string(key));
        return other == others_.end() ? nullptr : &values_[other->second];
    }
    const std::uint64_t bucket = a >> bucket_shift_;
    for (std::uint32_t i = buckets_[bucket]; i < buckets_[bucket + 1]; ++i) {
        const Entry& entry = entries_[i];
        if (entry.high >> Ordinal_bits == a && entry.low >> Ordinal_bits == b)
            return &values_[ordinal_of_words(entry.high, entry.low)];
    }
    return nullptr;
}
