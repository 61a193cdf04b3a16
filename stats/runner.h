#pragma once

#include "totals.h"

#include <atomic>
#include <cstdint>
#include <functional>

// Runs a range of samples on several threads. Each thread sweeps into totals of its own; they
// are added at the end, which is exact, so the result does not depend on the thread count.
namespace stats {

struct RunRange
{
    int L = 0;
    Boundary boundary = Boundary::Open;
    std::uint64_t seed = 0;
    std::uint64_t firstSample = 0;
    std::uint64_t sampleCount = 0;
};

// threads ≤ 0 means every core. `progress`, when set, is called now and then from one thread
// with the number of samples done so far. When `cancel` becomes true the threads finish the
// samples in hand and stop: the result then holds exactly the samples that were completed.
// A size outside 1 … 46340 (where N + 1 fits the 32-bit first n) gives totals of no samples.
Totals runSamples(const RunRange& range, int threads, const std::atomic<bool>* cancel = nullptr,
                  const std::function<void(std::uint64_t done)>& progress = {});

} // namespace stats
