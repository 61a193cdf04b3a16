#pragma once

#include "stats/canonical.h"
#include "stats/runner.h"
#include "stats/threshold.h"
#include "stats/totals.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

// A run of the statistics window, cut into batches so that the plots can be refreshed while it
// goes on. Batches only choose which samples are run when: totals add exactly, so the merged
// result is the same as one run of all the samples.
namespace statistics {

// The site percolation threshold of the square lattice, where the plots and the explorer look.
inline constexpr double SquareLatticeThreshold = 0.592746;

struct Batch
{
    int L = 0;
    std::uint64_t firstSample = 0;
    std::uint64_t sampleCount = 0;
};

// The samples of one size still to run.
struct SizeWork
{
    int L = 0;
    std::vector<stats::SampleRange> ranges;
};

// The samples of every size, in batches that start at one sample and double up to about
// `sitesPerBatch` sites (at least one sample), ordered so that all sizes advance at the same
// relative pace: the first curves of every size appear early, the large ones are refined in step
// with the small ones.
std::vector<Batch> planBatches(const std::vector<SizeWork>& work, std::int64_t sitesPerBatch);

// The p values the curves are drawn at: an even grid of `points` values over the critical region
// of the smallest size, pc ± 5·L^(−3/4) (the width of the crossing region scales as L^(−1/ν)),
// widened to at least pc ± 0.08, clipped to [0, 1] and rounded outwards to hundredths.
std::vector<double> pGrid(int smallestL, int points);

// The probability the spanning plot shows: the mean of the vertical and horizontal events, the
// quantity the preferred threshold estimators set to their critical value.
double spanningValue(const stats::CurvePoint& point);

// What a running batch shares with the window that started it.
struct BatchControl
{
    std::atomic<bool> stop{false};      // finish the samples in hand and return them
    std::atomic<bool> abandon{false};   // stop, and skip the curves: nobody will look at them
    std::atomic<std::uint64_t> done{0}; // samples of the batch completed so far
};

// A size's totals with one batch added, and what the window draws from them.
struct BatchOutcome
{
    stats::Totals totals;
    // Empty when not drawn.
    std::vector<stats::CurvePoint> curve;
    std::vector<stats::ThresholdEstimate> estimates;
    double drawSeconds = 0; // the time the curves and estimates took
};

// Runs `batch` on every core into `totals` (whose L, boundary and seed it uses). Then, if asked
// to `draw` or stopped (but not abandoned), computes the curves at `ps` and the threshold
// estimates. A stopped batch keeps the samples completed.
BatchOutcome runBatch(stats::Totals totals, const Batch& batch, const std::vector<double>& ps,
                      bool draw, BatchControl& control);

// The estimate of pc from the sizes' estimates: the preferred estimator of the boundary, fitted
// over the sizes that have one. Its L is 0 when several sizes were combined; its estimator is
// empty when there is none yet.
stats::ThresholdEstimate
combinedThreshold(const std::vector<std::vector<stats::ThresholdEstimate>>& perSize,
                  stats::Boundary boundary);

} // namespace statistics
