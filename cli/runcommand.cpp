#include "runcommand.h"

namespace cli {

int runCommand(RunSettings settings, const Ranks& ranks)
{
    Job job{"run", settings.request, settings.output, settings.execution, {}};
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
        if (verdict.empty())
            sizes = startAnew(job);
    }
    return runJob(job, std::move(sizes), verdict, ranks);
}

} // namespace cli
