#pragma once

#include <array>
#include <random>
#include <vector>

// The straightforward Newman–Ziff sweep, written as the papers describe it and nothing more:
// a shuffled vector of site indices, union–find with recursive path compression over separate
// vectors, neighbours found with division and remainder, and running sums kept in doubles per
// occupation number. The statistics benchmark measures the engine against it.
// M. E. J. Newman and R. M. Ziff, Phys. Rev. E 64, 016706 (2001).
namespace straightforward {

struct SweepSums
{
    SweepSums(int L, bool torus);

    int L;
    bool torus;
    // Indexed by n = 0 … L²: sums over samples of S_max, S_max², χ·N, (χ·N)², clusters, clusters².
    std::vector<double> largest, largestSquared, chi, chiSquared, clusters, clustersSquared;
    // Per sample: the first n of a vertical, horizontal, either and both crossing or wrapping.
    std::vector<std::array<int, 4>> firstN;
    // Work arrays of one sample, allocated once as in the papers' program.
    std::vector<int> order, parent, size, dx, dy;
    std::vector<bool> top, bottom, left, right;
};

void sweepSample(SweepSums& sums, std::mt19937_64& generator);

} // namespace straightforward
