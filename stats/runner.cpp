#include "runner.h"

#include "sweep.h"

#include <omp.h>

#include <cassert>
#include <chrono>
#include <vector>

namespace stats {

namespace {

// Samples are handed out in chunks small enough to balance the threads near the end and to
// stop soon after a cancellation, large enough that the shared counter is rarely touched.
constexpr std::uint64_t Chunk = 4;

} // namespace

Totals runSamples(const RunRange& range, int threads, const std::atomic<bool>* cancel,
                  const std::function<void(std::uint64_t done)>& progress)
{
    // Beyond this size N + 1 no longer fits the 32-bit first-n fields of the events.
    if (range.L < 1 || range.L > 46340)
        return Totals(0, range.boundary, range.seed);
    if (threads <= 0)
        threads = omp_get_max_threads();
    const auto workers = static_cast<std::size_t>(threads);
    std::vector<Totals> partial(workers);
    std::atomic<std::uint64_t> next{0};
    std::atomic<std::uint64_t> done{0};
    using Clock = std::chrono::steady_clock;
    const auto reportEvery = std::chrono::milliseconds(100);

#pragma omp parallel num_threads(threads)
    {
        const auto thread = static_cast<std::size_t>(omp_get_thread_num());
        Totals own(range.L, range.boundary, range.seed);
        Sweep sweep(range.L, range.boundary);
        auto lastReport = Clock::now();
        bool stopped = false;
        while (!stopped) {
            const std::uint64_t first = next.fetch_add(Chunk);
            if (first >= range.sampleCount)
                break;
            const std::uint64_t end = std::min(first + Chunk, range.sampleCount);
            for (std::uint64_t k = first; k < end; ++k) {
                if (cancel && cancel->load(std::memory_order_relaxed)) {
                    stopped = true;
                    break;
                }
                sweep.run(range.seed, range.firstSample + k, own);
                const std::uint64_t total = done.fetch_add(1) + 1;
                if (thread == 0 && progress && Clock::now() - lastReport >= reportEvery) {
                    lastReport = Clock::now();
                    progress(total);
                }
            }
        }
        sweep.flush(own);
        partial[thread] = std::move(own);
    }

    Totals result = std::move(partial.front());
    for (std::size_t t = 1; t < workers; ++t) {
        // The threads' samples are disjoint by construction.
        [[maybe_unused]] const std::string refused = result.add(partial[t]);
        assert(refused.empty());
    }
    if (progress)
        progress(done.load());
    return result;
}

} // namespace stats
