#pragma once

#include "totals.h"

#include <cstdint>
#include <memory>

// One Newman–Ziff sample: the N = L² sites are occupied one by one in a uniformly random order
// (a Fisher–Yates permutation drawn from the sample's own stream), and union–find (union by size,
// path halving) joins each new site to its occupied neighbours. After every addition the
// microcanonical values at occupation number n are known: S_max, Σs², the number of clusters,
// and whether a cluster crosses (open) or wraps (torus). Wrapping is found from each site's
// displacement to its root: joining two sites of one cluster whose displacements differ by other
// than one lattice step closes a loop around the torus.
// M. E. J. Newman and R. M. Ziff, Phys. Rev. Lett. 85, 4104 (2000); Phys. Rev. E 64, 016706
// (2001).
namespace stats {

class Sweep
{
public:
    Sweep(int L, Boundary boundary);
    ~Sweep();
    Sweep(const Sweep&) = delete;
    Sweep& operator=(const Sweep&) = delete;

    // Runs sample `sample` of the stream `seed` and adds it to totals, whose size and boundary
    // must be this sweep's. Allocates nothing after construction.
    void run(std::uint64_t seed, std::uint64_t sample, Totals& totals);

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace stats
