#include "runcommand.h"

#include "interrupt.h"
#include "outputfiles.h"
#include "progress.h"
#include "results.h"
#include "stats/runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace cli {
namespace {

// The first occupation numbers are 32-bit, so N = L² must stay below 2³¹.
constexpr int LargestSize = 46340;

// Bytes per site: the totals of every size (about 80 per occupation number) stay in memory, and
// each thread sweeps one size at a time with its own totals and lattice (under 120 per site).
double bytesNeeded(const std::vector<int>& sizes, int threads)
{
    double kept = 0;
    double largest = 0;
    for (int L : sizes) {
        const double sites = double(L) * double(L);
        kept += 80 * sites;
        largest = std::max(largest, sites);
    }
    return kept + 200 * largest * threads;
}

double physicalMemory()
{
    return double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGE_SIZE));
}

void fail(const Ranks& ranks, const std::string& reason)
{
    if (ranks.leader())
        std::fprintf(stderr, "percolation-stats: %s\n", reason.c_str());
}

} // namespace

std::string checkRunSettings(RunSettings& settings, int threadsPerRank)
{
    std::vector<int>& sizes = settings.sizes;
    if (sizes.empty())
        return "--sizes needs at least one lattice size";
    std::sort(sizes.begin(), sizes.end());
    if (sizes.front() < 2)
        return "--sizes: L = " + std::to_string(sizes.front()) + " is too small (at least 2)";
    if (sizes.back() > LargestSize)
        return "--sizes: L = " + std::to_string(sizes.back()) + " is too large (at most " +
               std::to_string(LargestSize) + ")";
    if (std::adjacent_find(sizes.begin(), sizes.end()) != sizes.end())
        return "--sizes: L = " + std::to_string(*std::adjacent_find(sizes.begin(), sizes.end())) +
               " is given twice";
    const double needed = bytesNeeded(sizes, threadsPerRank);
    if (needed > 0.8 * physicalMemory())
        return "--sizes: these sizes need about " + std::to_string(int(needed / 1e9 + 1)) +
               " GB of memory; this machine has " + std::to_string(int(physicalMemory() / 1e9)) +
               " GB";
    if (settings.samples == 0)
        return "--samples must be at least 1";
    if (settings.firstSample + settings.samples < settings.firstSample)
        return "--first-sample plus --samples overflows the sample numbers";
    if (settings.threads < 0)
        return "--threads must be positive (or 0 for every core)";
    return settings.grid.check();
}

int runCommand(RunSettings settings, const Ranks& ranks)
{
    const int threads = settings.threads > 0
                            ? settings.threads
                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::string verdict = checkRunSettings(settings, threads);
    if (verdict.empty() && ranks.leader())
        verdict = checkOutputPrefix(settings.output, settings.force);
    verdict = ranks.shareVerdict(verdict);
    if (!verdict.empty()) {
        fail(ranks, verdict);
        return 1;
    }

    watchForInterrupt();
    const auto start = std::chrono::steady_clock::now();
    const stats::Boundary boundary =
        settings.boundary == "torus" ? stats::Boundary::Torus : stats::Boundary::Open;
    const SampleShare share =
        shareOf(settings.firstSample, settings.samples, ranks.rank(), ranks.count());
    Progress progress(settings.sizes, share.count);
    std::vector<stats::Totals> sizes;
    for (std::size_t i = 0; i < settings.sizes.size(); ++i) {
        const int L = settings.sizes[i];
        if (interruptRequested()) {
            sizes.emplace_back(L, boundary, settings.seed);
            continue;
        }
        if (ranks.leader())
            progress.startSize(i);
        const stats::RunRange range{L, boundary, settings.seed, share.first, share.count};
        sizes.push_back(stats::runSamples(range, settings.threads, &interruptRequested(),
                                          [&](std::uint64_t done) {
                                              if (ranks.leader())
                                                  progress.update(done);
                                          }));
    }
    progress.finish();

    const std::string gathered = ranks.gatherTotals(sizes);
    if (!ranks.leader())
        return 0;
    if (!gathered.empty()) {
        fail(ranks, gathered);
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    nlohmann::ordered_json timing = {{"command", "run"},
                                     {"seconds", seconds},
                                     {"threads_per_rank", threads},
                                     {"mpi_ranks", ranks.count()}};
    if (interruptRequested())
        timing["interrupted_by_signal"] = interruptSignal();
    const std::string written = writeResults(settings.output, sizes, settings.grid, timing);
    if (!written.empty()) {
        fail(ranks, written);
        return 1;
    }
    if (!interruptRequested())
        return 0;
    std::uint64_t done = 0;
    for (const stats::Totals& totals : sizes)
        done += totals.samples();
    std::fprintf(stderr,
                 "percolation-stats: interrupted; the %llu samples done are in %s.totals "
                 "(merge them with a run of the others)\n",
                 static_cast<unsigned long long>(done), settings.output.c_str());
    return 128 + interruptSignal();
}

} // namespace cli
