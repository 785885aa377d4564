#include "converter/analysis/index.h"

#include "converter/app/logger.h"
#include "converter/app/utilities.h"

#include <unordered_set>
#include <utility>

namespace {

// The presence filter: one bit per hashed minimizer value, 32 KiB, so that it stays in the
// fastest cache while reads are looked up.
constexpr int Filter_bits_log2 = 18;

std::uint32_t filter_bit(std::uint32_t value)
{
    return (value * 0x9E3779B1u) >> (32 - Filter_bits_log2);
}

void log_too_many_references()
{
    log_error() << "Index cannot hold more than " << Index::Max_references << " references";
    log_flush();
}

} // namespace

Index::Index(int max_length, int w_value, int k_value)
    : w(w_value), k(k_value), kmer_mask(k_value < 16 ? (1u << (2 * k_value)) - 1 : ~0u),
      minimizers(max_length, w_value, k_value)
{
}

bool Index::load(const std::string& sequence, bool mutate)
{
    if (refs.size() >= static_cast<std::size_t>(Max_references)) {
        log_too_many_references();
        return false;
    }

    std::vector<std::string> variants;
    if (mutate) {
        const int length = static_cast<int>(sequence.size());
        const int span = w + k - 1;
        std::unordered_set<std::string> seen{sequence};
        std::vector<std::string> generated;
        for (int start = 0; start < length; start += span) {
            generated.clear();
            generate_mutations(sequence, start, start + span, true, true, true, generated);
            for (std::string& variant : generated)
                if (seen.insert(variant).second)
                    variants.push_back(std::move(variant));
        }
    }

    load(std::make_shared<TwoBitSeq>(sequence), false);
    for (const std::string& variant : variants)
        load(std::make_shared<TwoBitSeq>(variant), true);
    return true;
}

bool Index::load(std::shared_ptr<TwoBitSeq> sequence, bool variant)
{
    if (variant ? refs.empty() : refs.size() >= static_cast<std::size_t>(Max_references)) {
        if (variant) {
            log_error() << "Index has no reference for a variant";
            log_flush();
        } else {
            log_too_many_references();
        }
        return false;
    }
    if (!variant)
        refs.push_back(sequence);
    const std::uint64_t id = (refs.size() - 1) % Max_references;

    minimizers.compute_quick(sequence->packed.data(), sequence->length);
    if (present_.empty())
        present_.assign((std::size_t(1) << Filter_bits_log2) / 64, 0);
    for (int i = 0; i < minimizers.count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const std::uint32_t value = minimizers.values[index];
        hits[value].push_back(minimizers.positions[index] | id << 32);
        const std::uint32_t bit = filter_bit(value);
        present_[bit / 64] |= std::uint64_t(1) << (bit % 64);
    }
    return true;
}

void Index::clear()
{
    refs.clear();
    hits.clear();
    present_.clear();
}

std::span<const std::uint64_t> Index::find_hits(std::uint32_t value) const
{
    if (present_.empty())
        return {};
    const std::uint32_t bit = filter_bit(value);
    if (!((present_[bit / 64] >> (bit % 64)) & 1))
        return {};
    const auto found = hits.find(value);
    if (found == hits.end())
        return {};
    return found->second;
}
