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

// The site percolation threshold of the square lattice, where the explorer looks.
inline const double SquareLatticeThreshold =
    stats::knownThreshold(stats::Lattice::Square, stats::Model::Site);

struct Batch
{
    int L = 0;
    std::uint64_t firstSample = 0;
    std::uint64_t sampleCount = 0;
};

// The samples of one size still to run, and the elements (sites or bonds) each sample adds.
struct SizeWork
{
    int L = 0;
    std::vector<stats::SampleRange> ranges;
    std::int64_t elements = 0;
};

// The samples of every size, in batches that start at one sample and double up to about
// `elementsPerBatch` elements (at least one sample), ordered so that all sizes advance at the
// same relative pace: the first curves of every size appear early, the large ones are refined in
// step with the small ones.
std::vector<Batch> planBatches(const std::vector<SizeWork>& work, std::int64_t elementsPerBatch);

// The p values the curves are drawn at: an even grid of `points` values over the critical region
// of the smallest size around the known threshold pc of the lattice and model, pc ± 5·L^(−1/ν)
// (the width of the crossing region), widened to at least pc ± 0.08, clipped to [0, 1] and
// rounded outwards to hundredths.
std::vector<double> pGrid(stats::Lattice lattice, stats::Model model, int smallestL, int points);

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

// Runs `batch` on every core into `totals` (whose geometry, seed and snapshots it uses). Then, if
// asked to `draw` or stopped (but not abandoned), computes the curves at `ps` and the threshold
// estimates. A stopped batch keeps the samples completed.
BatchOutcome runBatch(stats::Totals totals, const Batch& batch, const std::vector<double>& ps,
                      bool draw, BatchControl& control);

} // namespace statistics
