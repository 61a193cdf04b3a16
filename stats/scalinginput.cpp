#include "scalinginput.h"

#include "canonicalwindow.h"
#include "threshold.h"

#include <algorithm>

namespace stats {

namespace {

constexpr std::size_t MinimumSizes = 4;

double toDouble(UInt128 x)
{
    return static_cast<double>(static_cast<long double>(x));
}

} // namespace

SizeSums scalingSums(const Totals& t, std::string& error)
{
    const Geometry g = t.geometry();
    const double pc = knownThreshold(g.lattice, g.model);
    const auto at = std::find_if(t.snapshots.points.begin(), t.snapshots.points.end(),
                                 [&](const SnapshotPoint& point) { return point.p == pc; });
    if (at == t.snapshots.points.end()) {
        error = "L = " + std::to_string(t.L) +
                " has no snapshots at the known threshold (run it with --ns-at pc)";
        return {};
    }
    SizeSums size;
    size.L = t.L;
    size.sites = t.sites();
    size.chiFirst = t.snapshots.chiFirst;
    size.groups.resize(at->groups.size());
    for (std::size_t k = 0; k < at->groups.size(); ++k) {
        const SnapshotSums& from = at->groups[k];
        GroupSums& to = size.groups[k];
        to.samples = from.samples;
        to.largest = static_cast<double>(from.largest);
        to.largestSquared = toDouble(from.largestSquared);
        to.squares = toDouble(from.squares);
        to.clusters.assign(from.sizeCounts.begin(), from.sizeCounts.end());
        if (!t.snapshots.chi.empty())
            for (const UInt128 c : t.snapshots.chi[k])
                to.chi.push_back(toDouble(c));
    }
    // dR/dp of each direction, the canonical transform over the elements.
    const int d = g.dimensions();
    std::vector<std::vector<std::int64_t>> firstN(static_cast<std::size_t>(d));
    for (const SampleEvents& e : t.events)
        for (int k = 0; k < d; ++k)
            firstN[static_cast<std::size_t>(k)].push_back(e.firstN[static_cast<std::size_t>(k)]);
    std::vector<double> slope(t.events.size(), 0.0);
    for (const std::vector<std::int64_t>& direction : firstN) {
        const std::vector<double> s = spanningSlopes(direction, t.elements(), pc);
        for (std::size_t i = 0; i < s.size(); ++i)
            slope[i] += s[i] / d;
    }
    for (std::size_t i = 0; i < t.events.size(); ++i)
        size.groups[t.events[i].sample % JackknifeGroups].slope += slope[i];
    return size;
}

ScalingInput scalingInput(const std::vector<Totals>& sizes, std::string& error)
{
    error.clear();
    if (sizes.size() < MinimumSizes) {
        error = "finite-size scaling needs at least " + std::to_string(MinimumSizes) +
                " sizes; the result has " + std::to_string(sizes.size());
        return {};
    }
    ScalingInput input;
    const Geometry first = sizes.front().geometry();
    input.dimension = first.dimensions();
    input.spanning = first.boundary == Boundary::Torus ? "wrap-mean" : "crossing";
    for (const Totals& t : sizes) {
        const Geometry g = t.geometry();
        if (g.lattice != first.lattice || g.model != first.model || g.boundary != first.boundary) {
            error = "the sizes are not all of one lattice, model and boundary";
            return {};
        }
        input.sizes.push_back(scalingSums(t, error));
        if (!error.empty())
            return {};
    }
    return input;
}

} // namespace stats
