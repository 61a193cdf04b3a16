#include "memory.h"

#include "stats/runner.h"
#include "stats/totalsfile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace cli {
namespace {

// Sums of 80 bytes per occupation number, 24 per sample's events (twice while totals are
// added), and about 200 per site to write the curves and estimates of one size.
constexpr double SumBytesPerSite = 80;
constexpr double EventBytes = 2 * 24;
constexpr double WritingBytesPerSite = 200;

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
    for (int L : needs.sizes) {
        const double sites = double(L) * double(L);
        kept += SumBytesPerSite * sites + EventBytes * double(needs.samples);
        largest = std::max(largest, sites);
    }
    const int L =
        needs.sizes.empty() ? 0 : *std::max_element(needs.sizes.begin(), needs.sizes.end());
    const double sampling = double(needs.threads) * stats::bytesPerThread(L);
    const double writing = WritingBytesPerSite * largest;
    const double receiving =
        needs.ranks > 1 ? 2 * stats::totalsFileBytes(needs.sizes, double(needs.samples)) : 0;
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
           std::to_string(needs.threads) + " threads, 48 bytes per sample and size, 80 per site)" +
           " and this machine offers " + gigabytes(offered) +
           "; run fewer sizes, samples or threads, or split the samples with --first-sample";
}

} // namespace cli
