#include "runcommand.h"

#include "results.h"
#include "say.h"
#include "stats/runner.h"
#include "stats/totalsfile.h"

#include <filesystem>
#include <fstream>

namespace cli {
namespace {

// Whether `sizes` are totals of this request, with no sample outside its range.
std::string belongs(const std::string& path, const std::vector<stats::Totals>& sizes,
                    const Request& request)
{
    if (sizes.size() != request.sizes.size())
        return path + " is not of the run recorded in its JSON (other sizes)";
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const stats::Totals& t = sizes[i];
        if (t.geometry() != request.geometry(request.sizes[i]) || t.seed != request.seed)
            return path + " is not of the run recorded in its JSON (other lattice, model, sizes, "
                          "boundary or seed)";
        if (!t.snapshots.sameLayout(request.totals(t.L).snapshots))
            return path + " is not of the run recorded in its JSON (" +
                   stats::describeLayout(t.snapshots) + ")";
        if (!t.events.empty() &&
            (t.events.front().sample < request.firstSample ||
             t.events.back().sample - request.firstSample >= request.samplesFor(t.L)))
            return path + " holds samples outside the recorded range";
    }
    return {};
}

// Adds a rank's checkpoint to `sizes`, unless the final write already took all its samples.
std::string absorb(const std::string& path, std::vector<stats::Totals>& sizes,
                   const Request& request, bool& changed)
{
    std::vector<stats::Totals> theirs;
    if (std::string reason = readTotalsFile(path, theirs); !reason.empty())
        return reason;
    if (std::string reason = belongs(path, theirs, request); !reason.empty())
        return reason;
    std::uint64_t shared = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const auto& ours = sizes[i].events;
        auto at = ours.begin();
        for (const stats::SampleEvents& e : theirs[i].events) {
            while (at != ours.end() && at->sample < e.sample)
                ++at;
            shared += at != ours.end() && at->sample == e.sample;
        }
    }
    if (shared == samplesIn(theirs))
        return {};
    if (shared > 0)
        return path + " and " + path.substr(0, path.rfind(".rank")) +
               ".totals share some samples but not all";
    std::vector<stats::Totals> added = sizes;
    for (std::size_t i = 0; i < sizes.size(); ++i)
        if (std::string reason = added[i].add(theirs[i]); !reason.empty())
            return path + ": " + reason;
    sizes = std::move(added);
    changed = true;
    return {};
}

} // namespace

std::string readRecordedRequest(const std::string& prefix, Request& request)
{
    JsonFile json;
    if (std::string reason = json.read(prefix + ".json"); !reason.empty())
        return reason;
    if (!json.has("request"))
        return prefix + ".json records no run to resume (it was written by merge, or by an "
                        "older version)";
    return request.read(json);
}

std::string gatherSamples(const std::string& prefix, const Request& request,
                          std::vector<stats::Totals>& sizes)
{
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(prefix + ".totals", error))) {
        if (std::string reason = readTotalsFile(prefix + ".totals", sizes); !reason.empty())
            return reason;
        if (std::string reason = belongs(prefix + ".totals", sizes, request); !reason.empty())
            return reason;
    } else {
        for (int L : request.sizes)
            sizes.push_back(request.totals(L));
    }
    bool changed = false;
    for (const std::string& path : rankCheckpoints(prefix))
        if (std::string reason = absorb(path, sizes, request, changed); !reason.empty())
            return reason;
    if (!changed)
        return {};
    // Every sample in one file before any rank writes a checkpoint of its own again.
    if (std::string reason = writeAll({totalsFile(prefix + ".totals", sizes)}); !reason.empty())
        return reason;
    removeRankCheckpoints(prefix);
    return {};
}

int resumeCommand(const ResumeSettings& settings, const Ranks& ranks)
{
    const std::string prefix = prefixOf(settings.prefix);
    Job job{"resume", {}, prefix, settings.execution, {}};
    job.execution.threads = resolveThreads(job.execution.threads, ranks);
    std::string verdict;
    std::string finished; // on rank 0, the line saying there is nothing to do
    std::vector<stats::Totals> sizes;
    PrefixLock lock;
    if (ranks.leader()) {
        JsonFile probe; // read before anything is touched
        verdict = probe.read(prefix + ".json");
        if (verdict.empty())
            verdict = lock.take(prefix);
        if (verdict.empty())
            verdict = readRecordedRequest(prefix, job.request);
        if (verdict.empty())
            verdict = gatherSamples(prefix, job.request, sizes);
        if (verdict.empty())
            verdict = checkJob(job, ranks.count(), true);
        // Rewriting a finished result would only put this command's timing in place of the run's.
        bool recordedComplete = false;
        if (verdict.empty() && complete(sizes, job.request) &&
            probe.flag("complete", recordedComplete).empty() && recordedComplete &&
            std::filesystem::exists(prefix + ".csv"))
            finished = prefix + " is complete (" + std::to_string(samplesIn(sizes)) +
                       " samples): nothing to resume, its files are unchanged";
    }
    if (!ranks.fromLeader(finished).empty()) {
        if (ranks.leader())
            say(finished);
        return 0;
    }
    return runJob(job, std::move(sizes), verdict, ranks);
}

} // namespace cli
