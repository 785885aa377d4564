#pragma once
// An index text of up to Max_letters letters A, C, G, N and T packed into two 64-bit words,
// three bits a letter (A 1, C 2, G 3, N 4, T 5, 0 after the text), letters 0 to 20 in the
// first word and 21 to 41 in the second, the first letter in the highest bits. A text of up
// to 21 letters leaves the second word 0, so that the first word alone serves as its key.
// Keys compare in the order of their texts, as std::string compares them.
//
//   IndexKey key;
//   if (IndexKey::pack("ACGTNNAC", key)) ... key.text() == "ACGTNNAC" ...
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

struct IndexKey {
    static constexpr std::size_t Letters_per_word = 21;
    static constexpr std::size_t Max_letters = 2 * Letters_per_word;

    std::uint64_t first = 0;
    std::uint64_t second = 0;

    // False, with key unchanged, for a text longer than Max_letters or with another letter.
    static bool pack(std::string_view text, IndexKey& key);
    std::string text() const;

    // The text fits the first word.
    bool is_short() const { return second == 0; }

    friend auto operator<=>(const IndexKey&, const IndexKey&) = default;
};

// Keys of the open-addressing tables (common/flat_key_table.h): a word that
// packing never makes marks an empty slot (the top bit is never set), and a hash that spreads
// the packed letters over every bit.
template <typename Key>
struct KeyTraits;

inline std::uint64_t mix_bits(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

template <>
struct KeyTraits<std::uint64_t> {
    static constexpr std::uint64_t Empty = ~std::uint64_t(0);
    static std::uint64_t hash(std::uint64_t key) { return mix_bits(key); }
};

template <>
struct KeyTraits<IndexKey> {
    static constexpr IndexKey Empty{~std::uint64_t(0), ~std::uint64_t(0)};
    static std::uint64_t hash(const IndexKey& key) { return mix_bits(key.first ^ mix_bits(key.second)); }
};
