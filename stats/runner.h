#pragma once

#include "totals.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

// Runs samples on several threads. Each thread sweeps into totals of its own; they are added
// into the caller's totals, which is exact, so the result depends neither on the thread count
// nor on how the samples were split between calls, threads, processes or interrupted runs.
namespace stats {

// Each thread holds a lattice and totals of its own; more threads than this are refused.
inline constexpr int MaxThreads = 1024;

struct RunRange
{
    int L = 0;
    Boundary boundary = Boundary::Open;
    std::uint64_t seed = 0;
    std::uint64_t firstSample = 0;
    std::uint64_t sampleCount = 0;
    Lattice lattice = Lattice::Square;
    Model model = Model::Site;
};

// The sample numbers first … first + count − 1.
struct SampleRange
{
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

// The samples of `wanted` that `done` does not hold, in increasing order.
std::vector<SampleRange> missingSamples(const Totals& done, SampleRange wanted);
std::uint64_t sampleCount(const std::vector<SampleRange>& ranges);

// Rank `rank` of `ranks` takes the part [count·rank/ranks, count·(rank+1)/ranks) of the samples
// listed, counted in their order.
std::vector<SampleRange> shareOf(const std::vector<SampleRange>& ranges, int rank, int ranks);

struct RunControl
{
    int threads = 1; // 1 … MaxThreads
    // When it becomes true the threads finish the samples in hand and stop.
    const std::atomic<bool>* cancel = nullptr;
    // Called now and then from the calling thread with the number of samples done so far.
    std::function<void(std::uint64_t done)> progress;
    // Asked by every thread between samples, so it must be cheap and thread-safe. Once it says
    // true, the threads finish the samples they took, their totals are added into the
    // caller's, and `checkpoint` is called from the calling thread; then the threads go on.
    std::function<bool()> checkpointDue;
    std::function<void(const Totals& sofar)> checkpoint;
};

// Adds the samples listed to `totals`, whose geometry, seed and snapshot layout say what to
// run, and returns how many were run: all of them unless cancelled. A cancelled run leaves holes
// in the listed samples where threads stopped; missingSamples() finds them later.
std::uint64_t runSamples(Totals& totals, const std::vector<SampleRange>& samples,
                         const RunControl& control);

// The threads offered by the runtime (OMP_NUM_THREADS, or one per core), not capped.
int offeredThreads();

// Bytes one thread holds while it runs samples of a geometry: its totals, with snapshots at
// `snapshotAt`, and its sweep.
double bytesPerThread(const Geometry& geometry, const std::vector<double>& snapshotAt);

// The samples of `range` as fresh totals; threads ≤ 0 means offeredThreads(), capped. A
// geometry that fails its check() gives totals of L = 0 and no samples. With `snapshotAt`
// (ascending p in (0, 1)) the totals record snapshots there (snapshots.h).
Totals runSamples(const RunRange& range, int threads, const std::atomic<bool>* cancel = nullptr,
                  const std::function<void(std::uint64_t done)>& progress = {},
                  const std::vector<double>& snapshotAt = {});

} // namespace stats
