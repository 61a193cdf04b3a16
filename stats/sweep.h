#pragma once

#include "totals.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// One Newman–Ziff sample: the E elements of a lattice (its N sites, or its bonds) are occupied
// one by one in a uniformly random order (a Fisher–Yates permutation drawn from the sample's
// own stream), and union–find (union by size, path halving) joins the clusters each new element
// touches: a site its occupied neighbours, a bond its two ends, every site being a cluster of
// its own from the start in bond percolation. After every addition the microcanonical values
// at occupation number n are known: S_max, Σs², the number of clusters, and whether a cluster
// crosses (open) or wraps (torus) in each dimension. Wrapping is found from each site's
// displacement to its root: joining two sites of one cluster whose displacements differ by
// other than the steps between them closes a loop around the torus. The addition step itself
// is in sweepkernel.h, where the exactness of each encoding of the displacements is derived.
// M. E. J. Newman and R. M. Ziff, Phys. Rev. Lett. 85, 4104 (2000); Phys. Rev. E 64, 016706
// (2001).
namespace stats {

// How a torus site keeps its displacement to its parent: x + 2¹⁶·y in one 32-bit word (in the
// plane only), or each coordinate in a word of 16 or 32 bits. Each is exact for some sizes
// only; Automatic takes the smallest exact one. All exact ones give the same totals.
enum class TorusEncoding { Automatic, Packed, Split16, Split32 };

struct SweepOptions
{
    TorusEncoding encoding = TorusEncoding::Automatic;
    // The portable form of every step that has one written for a processor, which is what other
    // processors run; the results are the same.
    bool portable = false;
};

// Whether `encoding` reads every winding around the geometry's torus exactly.
bool encodingIsExact(TorusEncoding encoding, const Geometry& geometry);

// What a sample holds after its first n elements: S_max, Σs², the number of clusters, and the
// clusters counted per size bin of clustersizes.h (sizeCounts[sizeBin(s)]).
struct Snapshot
{
    std::int64_t n = 0; // asked for, 0 … E
    std::uint32_t largest = 0;
    std::uint64_t squares = 0;
    std::uint32_t clusters = 0;
    std::vector<std::uint64_t> sizeCounts; // binsUpTo(N) entries
};

// χ·N (Σs² − S_max²) after each of the first n = first … first + values.size() − 1 elements.
struct ChiWindow
{
    std::int64_t first = 0;
    std::span<std::uint64_t> values;
};

class Sweep
{
public:
    // The geometry must pass its check(). An encoding that is not exact for it is replaced by
    // the automatic one.
    explicit Sweep(const Geometry& geometry, SweepOptions options = {});
    Sweep(int L, Boundary boundary, SweepOptions options = {}); // square site percolation
    ~Sweep();
    Sweep(const Sweep&) = delete;
    Sweep& operator=(const Sweep&) = delete;

    // The bytes a sweep of this geometry holds.
    static double bytes(const Geometry& geometry);

    // The encoding in use on the torus (Automatic with open boundaries).
    TorusEncoding encoding() const;

    // Runs sample `sample` of the stream `seed` for totals whose geometry must be this
    // sweep's: its events go to the totals at once, its per-n sums into a batch kept here, which
    // reaches the totals when it is full or flushed. Until flush(), every run must name the same
    // totals. Allocates nothing after construction.
    void run(std::uint64_t seed, std::uint64_t sample, Totals& totals);
    // The same, filling each snapshot (whose n are ascending) on the way: the running values
    // cost nothing, the size bins one pass over the lattice each. Allocates nothing when each
    // snapshot's sizeCounts already holds binsUpTo(N) entries.
    void run(std::uint64_t seed, std::uint64_t sample, Totals& totals,
             std::span<Snapshot> snapshots, ChiWindow window = {});
    // Adds the samples run since the last flush to the totals they were run for.
    void flush(Totals& totals);

    struct State;

private:
    std::unique_ptr<State> state;
};

} // namespace stats
