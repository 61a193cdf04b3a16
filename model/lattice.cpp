#include "lattice.h"

#include "random.h"

#include <array>
#include <cassert>
#include <cstdint>

namespace model {
namespace {

// Sites are drawn in blocks of Lanes: lane j holds the state of site s + j, and every lane jumps
// Lanes steps at once (state · a^Lanes), so the lanes are independent and vectorise while the
// sequence of states stays exactly the serial one.
constexpr int Lanes = 8;

constexpr std::array<std::uint32_t, Lanes + 1> multiplierPowers()
{
    std::array<std::uint32_t, Lanes + 1> powers{};
    powers[0] = 1;
    for (std::size_t k = 1; k < powers.size(); ++k)
        powers[k] = mulMod(RandomMultiplier, powers[k - 1]);
    return powers;
}

constexpr auto Powers = multiplierPowers();

// The deviate never decreases as the state grows, so "deviate < p" holds exactly for the states
// below the smallest state whose deviate is not below p. Returns that state (1 when no state
// qualifies, 2^31 − 1 when all do), found by bisection on the exact deviates.
std::uint32_t occupationThreshold(double p)
{
    std::uint32_t low = 1;
    std::uint32_t high = RandomModulus;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (deviateOf(middle) < p)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

} // namespace

int occupySites(double p, int* site, int* occupied, int L)
{
    assert(L >= 1 && L <= MaxLinearSize);
    if (L < 1 || L > MaxLinearSize)
        return 0;

    const int siteCount = L * L;
    const std::uint32_t threshold = occupationThreshold(p);
    auto state = static_cast<std::uint32_t>(rngState);
    int count = 0;
    // Empty sites store their number here instead of in occupied[], so that the list is appended
    // without a branch and nothing past occupied[count] is touched.
    int discard = 0;
    auto record = [&](int s, int isOccupied) {
        int* slot = isOccupied ? &occupied[count + 1] : &discard;
        *slot = s;
        count += isOccupied;
    };

    int s = 1;
    if (siteCount >= Lanes) {
        std::array<std::uint32_t, Lanes> lane{};
        for (int j = 0; j < Lanes; ++j)
            lane[static_cast<std::size_t>(j)] = mulMod(Powers[static_cast<std::size_t>(j) + 1], state);
        for (; s + Lanes - 1 <= siteCount; s += Lanes) {
            for (int j = 0; j < Lanes; ++j)
                site[s + j] = lane[static_cast<std::size_t>(j)] < threshold ? 1 : 0;
            for (int j = 0; j < Lanes; ++j)
                record(s + j, site[s + j]);
            state = lane[Lanes - 1];
            for (auto& value : lane)
                value = mulMod(Powers[Lanes], value);
        }
    }
    for (; s <= siteCount; ++s) {
        state = mulMod(RandomMultiplier, state);
        site[s] = state < threshold ? 1 : 0;
        record(s, site[s]);
    }
    rngState = static_cast<std::int32_t>(state);
    return count;
}

} // namespace model
