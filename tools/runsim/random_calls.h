#pragma once
// Random call bytes for synthetic base-call files: a uniform base and a quality drawn from a
// fixed spread that leans to high values, as instrument data does. Quality 0 (no call) never
// comes from here; no-calls are placed on purpose.
#include "common/base_code.h"
#include "tools/runsim/prng.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace runsim {

// The letters of the base codes: A 0, C 1, G 2, T 3.
inline constexpr char Base_letters[4] = {'A', 'C', 'G', 'T'};

// The base code of a letter; 0 for A and for any letter other than C, G and T.
inline int base_code(char letter)
{
    return ::base_code::Upper_case_codes[static_cast<unsigned char>(letter)] & 3;
}

// Call byte of a quality and a base code (A 0, C 1, G 2, T 3).
inline unsigned char make_call(int quality, int base)
{
    return static_cast<unsigned char>(quality * 4 + base);
}

// The call with its base replaced and its quality kept.
inline unsigned char with_base(unsigned char call, int base)
{
    return static_cast<unsigned char>((call & ~3) | base);
}

// Fills count bytes with random calls; one draw of the generator gives eight calls.
void fill_random_calls(unsigned char* out, std::size_t count, Prng& rng);

// count random calls, the same for the same seed; generated in parallel.
std::vector<unsigned char> random_calls(std::size_t count, std::uint64_t seed);

} // namespace runsim
