#include "runcommand.h"

#include <cstdio>

namespace cli {

int runCommand(RunSettings settings, const Ranks& ranks)
{
    Job job{"run", settings.request, settings.output, settings.execution};
    job.execution.threads = resolveThreads(job.execution.threads, ranks);
    std::string verdict;
    std::vector<stats::Totals> sizes;
    PrefixLock lock;
    if (ranks.leader()) {
        verdict = job.request.check();
        if (verdict.empty())
            verdict = checkJob(job, ranks.count(), settings.force);
        if (verdict.empty())
            verdict = lock.take(job.prefix);
        if (verdict.empty()) {
            // Replaced files go now, so that no old sample is ever taken for this run's.
            std::remove((job.prefix + ".totals").c_str());
            std::remove((job.prefix + ".csv").c_str());
            removeRankCheckpoints(job.prefix);
            for (int L : job.request.sizes)
                sizes.push_back(job.request.totals(L));
        }
    }
    return runJob(job, std::move(sizes), verdict, ranks);
}

} // namespace cli
