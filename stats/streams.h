#pragma once

#include <cstdint>

// Random numbers for the statistics: sample i of a run with seed s draws only from the stream
// keyed by (s, i), a xoshiro256** generator whose state SplitMix64 derives from the key
// (Blackman & Vigna, "Scrambled linear pseudorandom number generators", 2021). A sample's
// lattice therefore depends on nothing but its key, whichever thread, process or run makes it.
namespace stats {

class SampleStream
{
public:
    SampleStream(std::uint64_t seed, std::uint64_t sample);
    // A stream for another use of the same sample, unrelated to its permutation's stream.
    SampleStream(std::uint64_t seed, std::uint64_t sample, std::uint64_t purpose);

    // Uniform in [0, 1), 53 bits.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    // Inline: a shuffle draws once per site, and a call costs a third of the draw.
    std::uint64_t next()
    {
        const std::uint64_t result = rotl(s[1] * 5, 7) * 9;
        const std::uint64_t t = s[1] << 17;
        s[2] ^= s[0];
        s[3] ^= s[1];
        s[1] ^= s[2];
        s[0] ^= s[3];
        s[2] ^= t;
        s[3] = rotl(s[3], 45);
        return result;
    }

    // Uniform in 0 … bound − 1, without modulo bias (Lemire's multiply-and-reject).
    std::uint32_t below(std::uint32_t bound)
    {
        std::uint64_t product = (next() >> 32) * bound;
        auto low = static_cast<std::uint32_t>(product);
        if (__builtin_expect(low < bound, 0)) {
            const std::uint32_t threshold = (0u - bound) % bound;
            while (low < threshold) {
                product = (next() >> 32) * bound;
                low = static_cast<std::uint32_t>(product);
            }
        }
        return static_cast<std::uint32_t>(product >> 32);
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t s[4];
};

} // namespace stats
