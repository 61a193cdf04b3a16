#include "runner.h"

#include "snapshotrecorder.h"
#include "sweep.h"
#include "totalsfile.h"

#include <omp.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <memory>

namespace stats {

namespace {

using Clock = std::chrono::steady_clock;

// Samples are handed out in chunks small enough to balance the threads near the end and to
// stop soon after a cancellation, large enough that the shared counter is rarely touched.
constexpr std::uint64_t Chunk = 4;

// The listed samples counted in order: the k-th of them.
class SampleList
{
public:
    explicit SampleList(const std::vector<SampleRange>& list) : ranges(list)
    {
        std::uint64_t before = 0;
        for (const SampleRange& r : ranges) {
            starts.push_back(before);
            before += r.count;
        }
        total = before;
    }
    std::uint64_t size() const { return total; }
    std::uint64_t operator[](std::uint64_t k) const
    {
        const auto i = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), k) -
                                                starts.begin() - 1);
        return ranges[i].first + (k - starts[i]);
    }

private:
    std::vector<SampleRange> ranges;
    std::vector<std::uint64_t> starts;
    std::uint64_t total = 0;
};

void addInto(Totals& totals, const Totals& part)
{
    // The threads' samples are disjoint by construction.
    [[maybe_unused]] const std::string refused = totals.add(part);
    assert(refused.empty());
}

} // namespace

std::vector<SampleRange> missingSamples(const Totals& done, SampleRange wanted)
{
    std::vector<SampleRange> missing;
    std::uint64_t next = wanted.first;
    const std::uint64_t end = wanted.first + wanted.count;
    auto hole = [&](std::uint64_t upTo) {
        if (upTo > next)
            missing.push_back({next, upTo - next});
    };
    for (const SampleEvents& e : done.events) {
        if (e.sample < next)
            continue;
        if (e.sample >= end)
            break;
        hole(e.sample);
        next = e.sample + 1;
    }
    hole(end);
    return missing;
}

std::uint64_t sampleCount(const std::vector<SampleRange>& ranges)
{
    std::uint64_t count = 0;
    for (const SampleRange& r : ranges)
        count += r.count;
    return count;
}

std::vector<SampleRange> shareOf(const std::vector<SampleRange>& ranges, int rank, int ranks)
{
    const std::uint64_t count = sampleCount(ranges);
    const auto cut = [&](int r) {
        return static_cast<std::uint64_t>(UInt128{count} * static_cast<unsigned>(r) /
                                          static_cast<unsigned>(ranks));
    };
    const std::uint64_t begin = cut(rank);
    const std::uint64_t end = cut(rank + 1);
    std::vector<SampleRange> share;
    std::uint64_t before = 0;
    for (const SampleRange& r : ranges) {
        const std::uint64_t from = std::max(begin, before);
        const std::uint64_t to = std::min(end, before + r.count);
        if (from < to)
            share.push_back({r.first + (from - before), to - from});
        before += r.count;
    }
    return share;
}

std::uint64_t runSamples(Totals& totals, const std::vector<SampleRange>& samples,
                         const RunControl& control)
{
    const SampleList list(samples);
    const int threads = std::clamp(control.threads, 1, MaxThreads);
    const auto workers = static_cast<std::size_t>(threads);
    const auto reportEvery = std::chrono::milliseconds(100);
    std::vector<std::unique_ptr<Sweep>> sweeps(workers);
    // Each thread's totals start with the caller's snapshot layout and no sums.
    std::vector<double> ps;
    for (const SnapshotPoint& point : totals.snapshots.points)
        ps.push_back(point.p);
    const Snapshots layout = ps.empty() ? Snapshots{} : snapshotLayout(totals.geometry(), ps);
    const SnapshotRecorder recorder(totals);
    std::atomic<std::uint64_t> next{0};
    std::atomic<std::uint64_t> done{0};
    auto cancelled = [&] {
        return control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed);
    };

    // Rounds end at each checkpoint, where the threads' totals are added into the caller's.
    while (next.load() < list.size() && !cancelled()) {
        const bool timed = control.checkpoint && control.checkpointDue;
        std::atomic<bool> due{false};
        std::vector<Totals> partial(workers);
#pragma omp parallel num_threads(threads)
        {
            const auto thread = static_cast<std::size_t>(omp_get_thread_num());
            Totals own(totals.geometry(), totals.seed);
            own.snapshots = layout;
            SnapshotRecorder mine = recorder;
            if (!sweeps[thread])
                sweeps[thread] = std::make_unique<Sweep>(totals.geometry());
            auto lastReport = Clock::now();
            // A chunk once taken is finished, unless cancelled: a round leaves no hole.
            while (!cancelled() && !due.load(std::memory_order_relaxed)) {
                const std::uint64_t first = next.fetch_add(Chunk);
                if (first >= list.size())
                    break;
                const std::uint64_t end = std::min(first + Chunk, list.size());
                for (std::uint64_t k = first; k < end && !cancelled(); ++k) {
                    mine.run(*sweeps[thread], list[k], own);
                    const std::uint64_t total = done.fetch_add(1) + 1;
                    if (timed && control.checkpointDue())
                        due.store(true, std::memory_order_relaxed);
                    if (thread == 0 && control.progress &&
                        Clock::now() - lastReport >= reportEvery) {
                        lastReport = Clock::now();
                        control.progress(total);
                    }
                }
            }
            sweeps[thread]->flush(own);
            partial[thread] = std::move(own);
        }
        for (const Totals& part : partial)
            addInto(totals, part);
        if (due.load() && next.load() < list.size() && !cancelled())
            control.checkpoint(totals);
    }
    if (control.progress)
        control.progress(done.load());
    return done.load();
}

int offeredThreads()
{
    return omp_get_max_threads();
}

double bytesPerThread(const Geometry& geometry, const std::vector<double>& snapshotAt)
{
    // Totals of 80 bytes per occupation number with their snapshots, and the sweep.
    return 80 * double(geometry.elements() + 1) + snapshotFileBytes(geometry, snapshotAt) +
           Sweep::bytes(geometry);
}

Totals runSamples(const RunRange& range, int threads, const std::atomic<bool>* cancel,
                  const std::function<void(std::uint64_t done)>& progress,
                  const std::vector<double>& snapshotAt)
{
    const Geometry geometry{range.lattice, range.model, range.L, range.boundary};
    if (!geometry.check().empty())
        return Totals(0, range.boundary, range.seed);
    Totals totals(geometry, range.seed);
    if (!snapshotAt.empty())
        totals.snapshots = snapshotLayout(geometry, snapshotAt);
    RunControl control;
    control.threads = threads > 0 ? threads : std::min(offeredThreads(), MaxThreads);
    control.cancel = cancel;
    control.progress = progress;
    runSamples(totals, {{range.firstSample, range.sampleCount}}, control);
    return totals;
}

} // namespace stats
