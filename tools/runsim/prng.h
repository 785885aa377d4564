#pragma once
// Fast deterministic pseudo-random numbers for the run generator: splitmix64 turns seeds and
// coordinates into well-mixed stream seeds, xoshiro256** draws the numbers of one stream. Every
// tile has its own stream, so tiles can be generated in parallel with identical results.
#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace runsim {

// One step of splitmix64: advances state and returns the next mixed value.
inline std::uint64_t splitmix64(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A seed for the stream named by the values (for example seed, lane, surface, tile).
inline std::uint64_t derive_seed(std::initializer_list<std::uint64_t> values)
{
    std::uint64_t state = 0x5171'1AB5'EED0'0001ull;
    std::uint64_t mixed = 0;
    for (const std::uint64_t v : values) {
        state ^= v + 0x632BE59BD9B4E019ull + (mixed << 6) + (mixed >> 2);
        mixed = splitmix64(state);
    }
    return mixed;
}

class Prng {
public:
    explicit Prng(std::uint64_t seed)
    {
        std::uint64_t state = seed;
        for (std::uint64_t& word : s_)
            word = splitmix64(state);
    }

    // xoshiro256**
    std::uint64_t next()
    {
        const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }

    // Uniform in [0, n); n >= 1. Multiply-shift: the bias is below 2^-32 for the sizes used here.
    std::uint32_t below(std::uint32_t n)
    {
        return static_cast<std::uint32_t>(((next() >> 32) * static_cast<std::uint64_t>(n)) >> 32);
    }

    // Uniform in [lo, hi], both included; lo <= hi.
    int between(int lo, int hi) { return lo + static_cast<int>(below(static_cast<std::uint32_t>(hi - lo) + 1u)); }

    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    bool chance(double p) { return p > 0 && unit() < p; }

    // Number of failures before the next success of a trial with probability p (0 < p < 1):
    // the gap to the next event when events fall independently with probability p per place.
    std::uint64_t gap(double p)
    {
        const double u = 1.0 - unit(); // (0, 1]
        const double g = std::floor(std::log(u) / std::log1p(-p));
        return g >= 1e18 ? static_cast<std::uint64_t>(1e18) : static_cast<std::uint64_t>(g);
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t s_[4];
};

} // namespace runsim
