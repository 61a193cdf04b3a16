#include "snapshotrecorder.h"

#include "canonical.h"
#include "streams.h"

#include <algorithm>
#include <numeric>

namespace stats {

namespace {

// Keys the snapshot streams apart from the permutations' streams of the same samples.
constexpr std::uint64_t SnapshotPurpose = 0x736e617073686f74ULL;

} // namespace

SnapshotRecorder::SnapshotRecorder(const Totals& totals)
    : chiFirst(totals.snapshots.chiFirst), window(totals.snapshots.chiLength())
{
    for (const SnapshotPoint& point : totals.snapshots.points) {
        const BinomialWindow w = binomialWindow(totals.elements(), point.p);
        Draw d{w.first, {}};
        double sum = 0;
        for (const double weight : w.weights)
            d.cumulative.push_back(sum += weight);
        for (double& c : d.cumulative)
            c /= sum;
        draws.push_back(std::move(d));
    }
    taken.resize(draws.size());
    pointOf.resize(draws.size());
}

std::vector<std::int64_t> SnapshotRecorder::occupations(std::uint64_t seed,
                                                        std::uint64_t sample) const
{
    SampleStream stream(seed, sample, SnapshotPurpose);
    std::vector<std::int64_t> n;
    for (const Draw& d : draws) {
        const double u = stream.uniform();
        const auto k =
            std::upper_bound(d.cumulative.begin(), d.cumulative.end(), u) - d.cumulative.begin();
        n.push_back(d.first + std::min<std::int64_t>(k, std::int64_t(d.cumulative.size()) - 1));
    }
    return n;
}

void SnapshotRecorder::run(Sweep& sweep, std::uint64_t sample, Totals& totals)
{
    if (draws.empty()) {
        sweep.run(totals.seed, sample, totals);
        return;
    }
    const std::vector<std::int64_t> n = occupations(totals.seed, sample);
    std::iota(pointOf.begin(), pointOf.end(), std::size_t{0});
    std::stable_sort(pointOf.begin(), pointOf.end(),
                     [&](std::size_t a, std::size_t b) { return n[a] < n[b]; });
    for (std::size_t k = 0; k < taken.size(); ++k)
        taken[k].n = n[pointOf[k]];
    sweep.run(totals.seed, sample, totals, taken, {chiFirst, window});

    const auto group = static_cast<std::size_t>(sample % JackknifeGroups);
    Snapshots& s = totals.snapshots;
    for (std::size_t k = 0; k < taken.size(); ++k) {
        const Snapshot& t = taken[k];
        SnapshotSums& sums = s.points[pointOf[k]].groups[group];
        ++sums.samples;
        sums.largest += t.largest;
        sums.largestSquared += UInt128{t.largest} * t.largest;
        sums.squares += t.squares;
        for (std::size_t b = 0; b < sums.sizeCounts.size(); ++b)
            sums.sizeCounts[b] += t.sizeCounts[b];
    }
    if (!window.empty())
        for (std::size_t k = 0; k < window.size(); ++k)
            s.chi[group][k] += window[k];
}

} // namespace stats
