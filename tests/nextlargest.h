#pragma once

#include "model/clusters.h"
#include "model/lattice.h"
#include "model/random.h"

#include <cstdint>
#include <vector>

// The size of the largest cluster of the next realisation at p and L, as the model alone finds
// it. The generator is left where it was, so the program under test makes the same realisation.
inline int nextLargest(double p, int L)
{
    const std::int32_t state = model::rngState;
    std::vector<int> site(model::SiteCapacity), occupied(site), largest(site);
    const int n = model::occupySites(p, site.data(), occupied.data(), L);
    const int size = model::findLargestCluster(site.data(), occupied.data(), largest.data(), n, L);
    model::rngState = state;
    return size;
}
