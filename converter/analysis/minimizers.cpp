#include "converter/analysis/minimizers.h"

#include "converter/app/run_abort.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iostream>

static_assert(std::endian::native == std::endian::little, "packed bases are read as little-endian words");

namespace {

// These can only come from a fault of the program; it may be on a worker thread while the
// lane's other threads run, so the run ends at once (status 255).
[[noreturn]] void fatal(const char* message)
{
    std::cerr << message << std::endl;
    abort_run(message);
}

} // namespace

Minimizers::Minimizers(int longest, int window, int kmer_length) : max_length(longest), w(window), k(kmer_length)
{
    if (w > k)
        fatal("K must be >= W");
    const int windows = std::max(0, (max_length + 3) / 4);
    capacity = (windows + 31) / 32 * 32;
    values.assign(static_cast<std::size_t>(capacity), 0);
    positions.assign(static_cast<std::size_t>(capacity), 0);
}

void Minimizers::compute_quick(const unsigned char* packed, int length)
{
    if (length > max_length)
        fatal("sequence length > max_sequence_length");
    if (w != 4)
        fatal("W window size must be 4");
    if (k > 12)
        fatal("K must be <= 12");

    blocks = (length + 127) / 128;
    bytes = (length + 3) / 4;
    count = (length - k + 1) / 4;

    // Window m starts at byte m; its four k-mers (at most 15 bases with k <= 12) lie in the
    // 32-bit word at that byte. Each k-mer is ranked as value * 4 + offset, so one unsigned
    // minimum gives the smallest value and, among equal values, the earliest k-mer.
    const std::uint32_t mask = (1u << (2 * k)) - 1;
    std::uint32_t* const out_values = values.data();
    std::uint32_t* const out_positions = positions.data();
    for (int m = 0; m < count; ++m) {
        std::uint32_t word;
        std::memcpy(&word, packed + m, sizeof word);
        const std::uint32_t r0 = (word & mask) << 2;
        const std::uint32_t r1 = (((word >> 2) & mask) << 2) | 1u;
        const std::uint32_t r2 = (((word >> 4) & mask) << 2) | 2u;
        const std::uint32_t r3 = (((word >> 6) & mask) << 2) | 3u;
        const std::uint32_t best = std::min(std::min(r0, r1), std::min(r2, r3));
        out_values[m] = best >> 2;
        out_positions[m] = (static_cast<std::uint32_t>(m) << 2) | (best & 3u);
    }
}
