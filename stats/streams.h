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

    std::uint64_t next();
    // Uniform in 0 … bound − 1, without modulo bias (Lemire's multiply-and-reject).
    std::uint32_t below(std::uint32_t bound);

private:
    std::uint64_t s[4];
};

} // namespace stats
