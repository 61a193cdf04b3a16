#include "streams.h"

namespace stats {

namespace {

std::uint64_t splitMix64(std::uint64_t& x)
{
    std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k)
{
    return (x << k) | (x >> (64 - k));
}

} // namespace

SampleStream::SampleStream(std::uint64_t seed, std::uint64_t sample)
{
    // Two SplitMix64 steps mix seed and sample number into one key, so that neighbouring
    // samples, or neighbouring seeds, start from unrelated states.
    std::uint64_t x = seed;
    std::uint64_t key = splitMix64(x) ^ sample;
    key = splitMix64(key);
    for (auto& word : s)
        word = splitMix64(key);
}

std::uint64_t SampleStream::next()
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

std::uint32_t SampleStream::below(std::uint32_t bound)
{
    std::uint64_t product = (next() >> 32) * bound;
    auto low = static_cast<std::uint32_t>(product);
    if (low < bound) {
        const std::uint32_t threshold = (0u - bound) % bound;
        while (low < threshold) {
            product = (next() >> 32) * bound;
            low = static_cast<std::uint32_t>(product);
        }
    }
    return static_cast<std::uint32_t>(product >> 32);
}

} // namespace stats
