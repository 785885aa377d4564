#include "tools/runsim/random_calls.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <array>
#include <utility>

namespace runsim {
namespace {

// Byte of eight random bits -> call: the upper six bits pick a quality, the lower two the base.
std::array<unsigned char, 256> make_call_table()
{
    // 64 entries: 36 of 37, 12 of 32, 8 of 25, 5 of 15, 3 of 6.
    std::array<int, 64> spread{};
    int i = 0;
    for (const auto& [quality, count] : {std::pair{37, 36}, {32, 12}, {25, 8}, {15, 5}, {6, 3}})
        for (int k = 0; k < count; ++k)
            spread[i++] = quality;
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = make_call(spread[b >> 2], b & 3);
    return table;
}

const std::array<unsigned char, 256> Call_table = make_call_table();

constexpr std::size_t Chunk = std::size_t(1) << 20;

} // namespace

void fill_random_calls(unsigned char* out, std::size_t count, Prng& rng)
{
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t bits = rng.next();
        for (int k = 0; k < 8; ++k, bits >>= 8)
            out[i + k] = Call_table[bits & 0xFF];
    }
    if (i < count) {
        std::uint64_t bits = rng.next();
        for (; i < count; ++i, bits >>= 8)
            out[i] = Call_table[bits & 0xFF];
    }
}

std::vector<unsigned char> random_calls(std::size_t count, std::uint64_t seed)
{
    std::vector<unsigned char> calls(count);
    const std::size_t chunks = (count + Chunk - 1) / Chunk;
    tbb::parallel_for(tbb::blocked_range<std::size_t>(0, chunks), [&](const auto& range) {
        for (std::size_t c = range.begin(); c != range.end(); ++c) {
            Prng rng(derive_seed({seed, 0xCA11, c}));
            const std::size_t begin = c * Chunk;
            fill_random_calls(calls.data() + begin, std::min(Chunk, count - begin), rng);
        }
    });
    return calls;
}

} // namespace runsim
