#pragma once

#include <cstdint>

// The process-wide Park–Miller "minimal standard" generator: state' = 16807 · state mod (2^31 − 1).
// The state starts at 1 when the program is loaded and is never reseeded, so a run's sequence of
// lattices depends only on the sequence of commands. Every deviate is (state − 1) · (1 / 2147483646),
// multiplied by the stored reciprocal rather than divided, because lattices compare it exactly.
namespace model {

inline constexpr std::int32_t RandomMultiplier = 16807;
inline constexpr std::int32_t RandomModulus = 2147483647;
inline constexpr double DeviateScale = 1.0 / 2147483646.0;

// The generator state; between calls it lies in 1 … 2147483646.
extern std::int32_t rngState;

// (a · state) mod (2^31 − 1) for a, state < 2^31: the product fits in 62 bits, and since
// 2^31 ≡ 1 (mod m) its high and low halves add up to the same residue.
constexpr std::uint32_t mulMod(std::uint64_t a, std::uint32_t state)
{
    const std::uint64_t product = a * state;
    std::uint64_t r = (product & 0x7fffffffu) + (product >> 31);
    if (r >= static_cast<std::uint64_t>(RandomModulus))
        r -= static_cast<std::uint64_t>(RandomModulus);
    return static_cast<std::uint32_t>(r);
}

constexpr double deviateOf(std::uint32_t state)
{
    return static_cast<double>(state - 1) * DeviateScale;
}

// Advances rngState by one step and returns the next deviate in [0, 1).
double uniformRandom();

} // namespace model
