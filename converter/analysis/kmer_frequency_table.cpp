#include "converter/analysis/kmer_frequency_table.h"

#include "common/base_code.h"

#include <algorithm>
#include <iostream>
#include <stdexcept>

namespace {

constexpr int Max_k = 15;

} // namespace

KmerFrequencyTable::KmerFrequencyTable(int length) : k(length)
{
    if (k < 1 || k > Max_k)
        throw std::invalid_argument("k-mer length must be 1 .. 15, not " + std::to_string(k));
    counts.assign(std::size_t{1} << (2 * k), 0);
}

void KmerFrequencyTable::load(const std::string& text)
{
    const std::uint32_t mask = static_cast<std::uint32_t>(counts.size() - 1);
    std::uint32_t code = 0;
    int bases = 0;
    for (const char c : text) {
        const int base = base_code::code_of(c);
        if (base == 4) {
            code = 0;
            bases = 0;
        } else if (bases < k) {
            code |= static_cast<std::uint32_t>(base) << (2 * (k - 1 - bases));
            ++bases;
        } else {
            ++counts[code];
            code = ((code << 2) & mask) + static_cast<std::uint32_t>(base);
        }
    }
}

void KmerFrequencyTable::print_counts() const
{
    std::vector<KCount> repeated;
    for (std::size_t code = 0; code < counts.size(); ++code)
        if (counts[code] > 1)
            repeated.push_back({static_cast<std::uint32_t>(code), counts[code]});
    std::stable_sort(repeated.begin(), repeated.end());
    for (const KCount& entry : repeated)
        std::cout << k_hash_to_string(entry.kmer, static_cast<unsigned long>(k)) << " : "
                  << static_cast<int>(entry.count) << '\n';
}

unsigned int kmer_reverse_complement(unsigned char k, unsigned int kmer)
{
    unsigned int result = 0;
    for (int i = 0; i < k; ++i) {
        result = (result << 2) + (3 - (kmer & 3));
        kmer >>= 2;
    }
    return result;
}

std::string k_hash_to_string(unsigned int code, unsigned long k)
{
    if (k > Max_k)
        throw std::runtime_error("k is > MAX_K");
    std::string text(k, 'A');
    for (unsigned long i = 0; i < k; ++i)
        text[i] = base_code::Letters[(code >> (2 * (k - 1 - i))) & 3];
    return text;
}
