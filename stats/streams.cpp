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

SampleStream::SampleStream(std::uint64_t seed, std::uint64_t sample, std::uint64_t purpose)
{
    std::uint64_t x = seed;
    std::uint64_t key = splitMix64(x) ^ sample;
    key = splitMix64(key);
    key ^= purpose;
    key = splitMix64(key);
    for (auto& word : s)
        word = splitMix64(key);
}

} // namespace stats
