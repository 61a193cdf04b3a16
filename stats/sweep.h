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
// than one lattice step closes a loop around the torus. The addition step itself is in
// sweepkernel.h.
// M. E. J. Newman and R. M. Ziff, Phys. Rev. Lett. 85, 4104 (2000); Phys. Rev. E 64, 016706
// (2001).
namespace stats {

// How a torus site keeps its displacement to its parent: x + 2¹⁶·y in one 32-bit word, or x and
// y in two words of 16 or 32 bits. Each is exact for some sizes only; Automatic takes the
// smallest exact one. All exact ones give the same totals.
enum class TorusEncoding { Automatic, Packed, Split16, Split32 };

struct SweepOptions
{
    TorusEncoding encoding = TorusEncoding::Automatic;
    // The portable form of every step that has one written for a processor, which is what other
    // processors run; the results are the same.
    bool portable = false;
};

// Whether `encoding` reads every winding around an L × L torus exactly.
bool encodingIsExact(TorusEncoding encoding, int L);

class Sweep
{
public:
    // An encoding that is not exact for L is replaced by the automatic one.
    Sweep(int L, Boundary boundary, SweepOptions options = {});
    ~Sweep();
    Sweep(const Sweep&) = delete;
    Sweep& operator=(const Sweep&) = delete;

    // The encoding in use on the torus (Automatic with open boundaries).
    TorusEncoding encoding() const;

    // Runs sample `sample` of the stream `seed` for totals whose size and boundary must be this
    // sweep's: its events go to the totals at once, its per-n sums into a batch kept here, which
    // reaches the totals when it is full or flushed. Until flush(), every run must name the same
    // totals. Allocates nothing after construction.
    void run(std::uint64_t seed, std::uint64_t sample, Totals& totals);
    // Adds the samples run since the last flush to the totals they were run for.
    void flush(Totals& totals);

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace stats
