#pragma once

#include "sweep.h"
#include "totals.h"

#include <cstdint>
#include <vector>

// Runs samples with the snapshots their totals' layout asks for (snapshots.h) and adds each
// sample's values to its jackknife group. A sample's occupation number at p is drawn by inverting
// the binomial distribution Binomial(E, p) with one uniform number from the sample's snapshot
// stream: the cumulative weights are tabulated once, from the mode outwards to a relative weight
// of 1e-17, and searched by bisection.
namespace stats {

class SnapshotRecorder
{
public:
    // For totals whose snapshots have a layout (or none: then run() is a plain sweep).
    explicit SnapshotRecorder(const Totals& totals);

    // The occupation number of each of the layout's p for one sample.
    std::vector<std::int64_t> occupations(std::uint64_t seed, std::uint64_t sample) const;

    // Runs one sample on `sweep` (of the totals' geometry) into `totals`, which must have the
    // layout this recorder was made for.
    void run(Sweep& sweep, std::uint64_t sample, Totals& totals);

private:
    struct Draw
    {
        std::int64_t first = 0;
        std::vector<double> cumulative; // ascending, the last one 1
    };
    std::vector<Draw> draws;
    std::int64_t chiFirst = 0;
    std::vector<Snapshot> taken;      // in order of n
    std::vector<std::size_t> pointOf; // the point each of `taken` belongs to
    std::vector<std::uint64_t> window;
};

} // namespace stats
