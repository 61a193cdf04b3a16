#include "statisticsrun.h"

#include "stats/runner.h"
#include "stats/scaling.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <tuple>

namespace statistics {

std::vector<Batch> planBatches(const std::vector<SizeWork>& work, std::int64_t elementsPerBatch)
{
    std::vector<Batch> plan;
    for (const SizeWork& size : work) {
        const std::int64_t each = size.elements;
        const auto cap = static_cast<std::uint64_t>(
            std::max<std::int64_t>(1, each > 0 ? elementsPerBatch / each : elementsPerBatch));
        std::uint64_t count = 1;
        for (const stats::SampleRange& range : size.ranges) {
            const std::uint64_t end = range.first + range.count;
            for (std::uint64_t first = range.first; first < end;
                 first += plan.back().sampleCount) {
                count = std::min(count, cap);
                plan.push_back({size.L, first, std::min(count, end - first)});
                count *= 2;
            }
        }
    }
    std::stable_sort(plan.begin(), plan.end(), [](const Batch& a, const Batch& b) {
        return std::tuple(a.firstSample + a.sampleCount, a.L) <
               std::tuple(b.firstSample + b.sampleCount, b.L);
    });
    return plan;
}

std::vector<double> pGrid(stats::Lattice lattice, stats::Model model, int smallestL, int points)
{
    const double pc = stats::knownThreshold(lattice, model);
    const double y = stats::knownExponent(stats::dimensionsOf(lattice), "1/nu").value;
    const double halfWidth = std::max(0.08, 5.0 * std::pow(std::max(smallestL, 1), -y));
    const double low = std::max(0.0, std::floor((pc - halfWidth) * 100) / 100);
    const double high = std::min(1.0, std::ceil((pc + halfWidth) * 100) / 100);
    std::vector<double> ps;
    const int count = std::max(points, 2);
    ps.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        ps.push_back(low + (high - low) * i / (count - 1));
    return ps;
}

BatchOutcome runBatch(stats::Totals totals, const Batch& batch, const std::vector<double>& ps,
                      bool draw, BatchControl& control)
{
    const stats::RunRange range{totals.L,          totals.boundary, totals.seed, batch.firstSample,
                                batch.sampleCount, totals.lattice,  totals.model};
    std::vector<double> snapshotAt;
    for (const stats::SnapshotPoint& point : totals.snapshots.points)
        snapshotAt.push_back(point.p);
    totals.add(stats::runSamples(
        range, 0, &control.stop, [&control](std::uint64_t done) { control.done = done; },
        snapshotAt));
    BatchOutcome outcome;
    if ((draw || control.stop) && !control.abandon && totals.samples() > 0) {
        const auto begin = std::chrono::steady_clock::now();
        // The two take about as long as each other and share nothing but the totals.
        auto estimates = std::async(std::launch::async, [&totals] {
            // The jackknife behind the errors needs a few samples to say anything.
            return totals.samples() >= 4 ? stats::estimateThreshold(totals)
                                         : std::vector<stats::ThresholdEstimate>{};
        });
        outcome.curve = stats::canonicalCurves(totals, ps);
        outcome.estimates = estimates.get();
        outcome.drawSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    }
    outcome.totals = std::move(totals);
    return outcome;
}

} // namespace statistics
