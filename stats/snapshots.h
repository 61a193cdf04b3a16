#pragma once

#include "geometry.h"

#include <cstdint>
#include <string>
#include <vector>

// Canonical snapshots of every sample at chosen occupation probabilities p, summed per jackknife
// group: what finite-size scaling and the cluster-size distribution n_s need.
//
// Each sample is looked at once per p, after its first n elements, where n is drawn from
// Binomial(E, p) (E elements: sites or bonds) by inversion of the binomial distribution, from a
// stream of its own keyed by the seed and the sample number, so that the permutation's stream,
// and with it every other sum, stays as it was. A sample at a binomial n is an exact sample of the
// canonical ensemble at p; a fixed n = E·p would carry a relative correction of order L^(2/ν − d)
// into S_max and its moments (see scaling.h). At each n the sums take S_max, S_max², Σs² over
// every cluster and the clusters counted per log bin of size (clustersizes.h).
//
// Around the known threshold p* (when it is one of the p), every sample also adds χ·N (the largest
// cluster left out) at each n of a window [E·p* − h, E·p* + h], for the peak of χ over p. The
// window holds the peak, which lies about 0.74·L^(d − 1/ν) sites below N·p* on the square torus,
// with a margin of two, and the binomial weights of every p near it up to eight standard
// deviations: h = ⌈2·(E/N)·L^(d − 1/ν) + 8·√(E·p*(1 − p*))⌉.
//
// Everything is an integer summed per group g = sample mod JackknifeGroups, so any split of the
// samples (threads, ranks, runs, resumes) adds up to the same bits.
namespace stats {

__extension__ typedef unsigned __int128 UInt128;

// A sample's jackknife group is its number modulo this count, at every size and in every run.
inline constexpr std::uint64_t JackknifeGroups = 32;

// At most this many snapshot probabilities per run.
inline constexpr std::size_t MaxSnapshotPoints = 64;

// One group's sums at one p.
struct SnapshotSums
{
    std::uint64_t samples = 0;
    std::uint64_t largest = 0; // Σ S_max
    UInt128 largestSquared = 0;
    UInt128 squares = 0;                   // Σ Σ_s s², every cluster
    std::vector<std::uint64_t> sizeCounts; // Σ clusters per size bin: binsUpTo(N) entries
};

struct SnapshotPoint
{
    double p = 0;
    std::vector<SnapshotSums> groups; // JackknifeGroups entries
};

struct Snapshots
{
    std::vector<SnapshotPoint> points; // ascending p; empty: no snapshots
    std::int64_t chiFirst = 0;         // the window's first n
    // Σ χ·N per group (JackknifeGroups entries, or none without a window) at n = chiFirst + k.
    std::vector<std::vector<UInt128>> chi;

    bool empty() const { return points.empty(); }
    std::size_t chiLength() const { return chi.empty() ? 0 : chi.front().size(); }
    // Whether both were set up for the same p, window and bins.
    bool sameLayout(const Snapshots& other) const;
    // Adds other's sums; the layouts must be the same.
    void add(const Snapshots& other);
};

// Empty sums at each p of `ps` (ascending, each in (0, 1)) for a geometry, with the window of
// χ when the geometry's known threshold is one of them.
Snapshots snapshotLayout(const Geometry& geometry, const std::vector<double>& ps);

// The half-width h of the window of χ at the known threshold (see above).
std::int64_t chiHalfWidth(const Geometry& geometry);

// The extent of the window of χ that snapshotLayout() sets up, without setting it up.
struct ChiExtent
{
    std::int64_t first = 0;
    std::int64_t length = 0; // 0: no window
};
ChiExtent chiExtent(const Geometry& geometry, const std::vector<double>& ps);

// The layout in words, for messages: "p = 0.5927, 0.6 with a window of χ" or "no snapshots".
std::string describeLayout(const Snapshots& snapshots);

} // namespace stats
