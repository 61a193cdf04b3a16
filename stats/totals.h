#pragma once

#include "geometry.h"
#include "snapshots.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Exact, mergeable sums over the samples of one lattice size.
//
// Everything a run learns is kept as integers: per occupation number n = 0 … E (E elements,
// sites or bonds, of N sites) the sums over samples of S_max, S_max², χ·N = Σs² − S_max², its
// square, the number of clusters and its square; and per sample the first n at which each
// spanning event happens. Integer sums commute,
// so adding the totals of any split of the same samples (threads, MPI ranks, separate runs)
// gives the same bits, and every number written out is computed from these totals alone, in a
// fixed order.
namespace stats {

// With open boundaries an event is a crossing between opposite edges; on the torus it is a
// cluster that wraps around. Vertical: top to bottom; Horizontal: left to right. These are the
// events of a lattice in the plane; geometry.h has their order in general.
enum Event : int { Vertical = 0, Horizontal = 1, Either = 2, Both = 3 };
inline constexpr int EventCount = 4;

// The first occupation number at which each event happens in one sample (E + 1 if it never
// does, which cannot happen once every element is occupied, but keeps the type honest). The
// geometry's eventCount() entries are used, the rest are 0.
struct SampleEvents
{
    std::uint64_t sample = 0;
    std::array<std::int32_t, MaxEventCount> firstN{};
};

struct Totals
{
    int L = 0;
    Boundary boundary = Boundary::Open;
    Lattice lattice = Lattice::Square;
    Model model = Model::Site;
    std::uint64_t seed = 0;

    // Indexed by n = 0 … E (E + 1 entries each).
    std::vector<std::uint64_t> sumLargest;
    std::vector<UInt128> sumLargestSquared;
    std::vector<UInt128> sumChi;
    std::vector<UInt128> sumChiSquared;
    std::vector<std::uint64_t> sumClusters;
    std::vector<UInt128> sumClustersSquared;

    // One entry per sample, sorted by sample number; its size is the number of samples.
    std::vector<SampleEvents> events;

    // Sums at canonical snapshots (snapshots.h), when the run asked for them: the runner
    // records them for every sample of totals whose snapshots have a layout.
    Snapshots snapshots;

    Totals() = default;
    Totals(const Geometry& geometry, std::uint64_t seed);
    Totals(int L, Boundary boundary, std::uint64_t seed); // of square site percolation

    Geometry geometry() const { return {lattice, model, L, boundary}; }
    std::int64_t sites() const { return geometry().sites(); }       // N
    std::int64_t elements() const { return geometry().elements(); } // E
    std::uint64_t samples() const { return events.size(); }

    // Adds other's samples. Returns an empty string on success; otherwise a one-line reason
    // (another lattice, model, size, boundary or seed, snapshots at other p, or a sample number
    // present in both) and changes nothing. Totals without samples take on the other's snapshot
    // layout.
    // Default-constructed totals take on the first totals added to them, and add as nothing.
    std::string add(const Totals& other);
};

} // namespace stats
