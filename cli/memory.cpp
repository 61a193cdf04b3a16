#include "memory.h"

#include "stats/runner.h"
#include "stats/totals.h"
#include "stats/totalsfile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace cli {
namespace {

// Sums of 80 bytes per occupation number, a sample's events (twice while totals are added),
// and about 200 bytes per occupation number to write the curves and estimates of one size.
constexpr double SumBytesPerElement = 80;
constexpr double EventBytes = 2 * sizeof(stats::SampleEvents);
constexpr double WritingBytesPerElement = 200;

std::string gigabytes(double bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, bytes < 10e9 ? "%.1f GB" : "%.0f GB", bytes / 1e9);
    return text;
}

} // namespace

double bytesNeeded(const MemoryNeeds& needs)
{
    double kept = 0;
    double largest = 0;
    double sampling = 0;
    for (const stats::Geometry& g : needs.sizes) {
        const double elements = double(g.elements()) + 1;
        kept += SumBytesPerElement * elements + EventBytes * double(needs.samples) +
                stats::snapshotFileBytes(g, needs.snapshotAt);
        largest = std::max(largest, elements);
        sampling =
            std::max(sampling, double(needs.threads) * stats::bytesPerThread(g, needs.snapshotAt));
    }
    const double writing = WritingBytesPerElement * largest;
    const double receiving =
        needs.ranks > 1
            ? 2 * stats::totalsFileBytes(needs.sizes, double(needs.samples), needs.snapshotAt)
            : 0;
    return kept + std::max({sampling, writing, receiving});
}

double bytesOffered()
{
    double offered = 0.8 * double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGE_SIZE));
    // A batch job's share, under cgroup v2.
    if (std::ifstream limit("/sys/fs/cgroup/memory.max"); limit) {
        double bytes = 0;
        if (limit >> bytes && bytes > 0)
            offered = std::min(offered, bytes);
    }
    struct rlimit address = {};
    if (getrlimit(RLIMIT_AS, &address) == 0 && address.rlim_cur != RLIM_INFINITY)
        offered = std::min(offered, double(address.rlim_cur));
    return offered;
}

std::string checkMemory(const MemoryNeeds& needs)
{
    const double needed = bytesNeeded(needs);
    const double offered = bytesOffered();
    if (needed <= offered)
        return {};
    return "not enough memory: this run needs about " + gigabytes(needed) + " (" +
           std::to_string(needs.threads) + " threads, " + std::to_string(int(EventBytes)) +
           " bytes per sample and size, " + std::to_string(int(SumBytesPerElement)) +
           " per site or bond)" + " and this machine offers " + gigabytes(offered) +
           "; run fewer sizes, samples or threads, or split the samples with --first-sample";
}

} // namespace cli
