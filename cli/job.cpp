#include "job.h"

#include "interrupt.h"
#include "jsonfile.h"
#include "memory.h"
#include "progress.h"
#include "results.h"
#include "say.h"
#include "stats/runner.h"

#include <chrono>
#include <cstdio>
#include <new>

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

// What every rank must know: the request and the samples missing of each size.
std::string describe(const Job& job, const std::vector<std::vector<stats::SampleRange>>& missing)
{
    Json json = job.request.json();
    json["lattice"] = stats::latticeName(job.request.lattice);
    json["model"] = stats::modelName(job.request.model);
    json["boundary"] = stats::boundaryName(job.request.boundary);
    json["seed"] = job.request.seed;
    Json lists = Json::array();
    for (const auto& ranges : missing) {
        Json list = Json::array();
        for (const stats::SampleRange& r : ranges)
            list.push_back({r.first, r.count});
        lists.push_back(list);
    }
    json["missing"] = lists;
    return json.dump();
}

void learn(const std::string& text, Job& job,
           std::vector<std::vector<stats::SampleRange>>& missing)
{
    const auto json = nlohmann::json::parse(text);
    job.request.sizes = json["sizes"].get<std::vector<int>>();
    job.request.firstSample = json["first_sample"];
    job.request.samples = json["samples"];
    job.request.samplesAt = json.value("samples_at", 0);
    job.request.seed = json["seed"];
    job.request.boundary =
        json["boundary"] == "torus" ? stats::Boundary::Torus : stats::Boundary::Open;
    stats::parseLattice(json["lattice"].get<std::string>(), job.request.lattice);
    stats::parseModel(json["model"].get<std::string>(), job.request.model);
    job.request.snapshotAt = json["ns_at"].get<std::vector<double>>();
    for (const auto& list : json["missing"]) {
        missing.emplace_back();
        for (const auto& r : list)
            missing.back().push_back({r[0], r[1]});
    }
}

} // namespace

int resolveThreads(int requested, const Ranks& ranks)
{
    if (requested > 0)
        return requested;
    const int offered = stats::offeredThreads();
    if (offered <= stats::MaxThreads)
        return std::max(offered, 1);
    if (ranks.leader())
        say("the runtime offers " + std::to_string(offered) + " threads (OMP_NUM_THREADS); " +
            "using the limit of " + std::to_string(stats::MaxThreads));
    return stats::MaxThreads;
}

std::string checkJob(const Job& job, int ranks, bool force)
{
    // Replacing an unfinished run would throw its samples away: the way to finish it comes first.
    JsonFile record;
    bool finished = true;
    if (!force && record.read(job.prefix + ".json").empty() &&
        record.flag("complete", finished).empty() && !finished)
        return job.prefix + ".json records an unfinished run: " + howToFinish(job) +
               " (--force starts anew)";
    if (std::string reason = checkOutputPrefix(job.prefix, force, ranks); !reason.empty())
        return reason;
    return checkMemory({job.request.geometries(), job.request.mostSamples(), job.execution.threads,
                        ranks, job.request.snapshotAt});
}

std::vector<stats::Totals> startAnew(const Job& job)
{
    std::remove((job.prefix + ".totals").c_str());
    std::remove((job.prefix + ".csv").c_str());
    for (const char* derived : {ScalingSuffix, NsSuffix})
        std::remove((job.prefix + derived).c_str());
    removeRankCheckpoints(job.prefix);
    std::vector<stats::Totals> sizes;
    for (int L : job.request.sizes)
        sizes.push_back(job.request.totals(L));
    return sizes;
}

std::string howToFinish(const Job& job)
{
    return (job.finisher.empty() ? "percolation-stats resume " + job.prefix : job.finisher) +
           " runs the rest";
}

int runJob(Job job, std::vector<stats::Totals> sizes, std::string verdict, const Ranks& ranks)
{
    const auto start = std::chrono::steady_clock::now();
    const int threads = resolveThreads(job.execution.threads, ranks);
    std::vector<std::vector<stats::SampleRange>> missing;
    if (ranks.leader() && verdict.empty())
        for (const stats::Totals& totals : sizes)
            missing.push_back(stats::missingSamples(
                totals, {job.request.firstSample, job.request.samplesFor(totals.L)}));
    const std::string plan =
        ranks.fromLeader(verdict.empty() ? describe(job, missing) : "!" + verdict);
    if (plan.starts_with('!')) {
        if (ranks.leader())
            say(plan.substr(1));
        return 1;
    }
    if (!ranks.leader()) {
        learn(plan, job, missing);
        for (int L : job.request.sizes)
            sizes.push_back(job.request.totals(L));
    }

    watchForInterrupt();
    const std::string checkpointPath =
        ranks.leader() ? job.prefix + ".totals" : rankCheckpointOf(job.prefix, ranks.rank());
    bool checkpointFailed = false;
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(60 * job.execution.checkpointMinutes));
    auto nextCheckpoint = Clock::now() + interval;
    const auto due = [&] {
        return job.execution.checkpointMinutes > 0 && Clock::now() >= nextCheckpoint;
    };
    auto checkpoint = [&](bool withTotals) {
        if (!withTotals && !ranks.leader())
            return;
        std::vector<OutputFile> files;
        if (withTotals)
            files.push_back(totalsFile(checkpointPath, sizes));
        Json json;
        if (ranks.leader()) {
            json = summary(sizes, job.request.grid, &job.request, false);
            json["timing"] = {{"command", job.command}, {"checkpoint", true}};
            files.push_back(jsonFile(job.prefix + ".json", json));
        }
        const std::string reason = writeAll(files);
        if (!reason.empty() && !checkpointFailed)
            say("checkpoint failed (" + reason + "); going on");
        checkpointFailed = !reason.empty();
        nextCheckpoint = Clock::now() + interval;
    };
    // The request is on record before the first sample; the totals, if any, already are.
    if (ranks.leader())
        checkpoint(false);

    std::vector<std::vector<stats::SampleRange>> shares;
    std::vector<std::uint64_t> counts;
    for (const auto& ranges : missing) {
        shares.push_back(stats::shareOf(ranges, ranks.rank(), ranks.count()));
        counts.push_back(stats::sampleCount(shares.back()));
    }
    Progress progress(job.request.sizes, counts);
    bool failed = false;
    try {
        for (std::size_t i = 0; i < sizes.size() && !interruptRequested(); ++i) {
            if (ranks.leader())
                progress.startSize(i);
            stats::RunControl control;
            control.threads = threads;
            control.cancel = &interruptRequested();
            control.progress = [&](std::uint64_t done) {
                if (ranks.leader())
                    progress.update(done);
            };
            control.checkpointDue = due;
            control.checkpoint = [&](const stats::Totals&) { checkpoint(true); };
            stats::runSamples(sizes[i], shares[i], control);
            if (due())
                checkpoint(true);
        }
    } catch (const std::bad_alloc&) {
        failed = true;
        say("rank " + std::to_string(ranks.rank()) + " ran out of memory");
    }
    progress.finish();

    const std::string lost = ranks.gatherTotals(sizes, failed);
    if (!ranks.leader())
        return failed ? 1 : 0;
    Json timing = {
        {"command", job.command},
        {"seconds",
         std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()},
        {"threads_per_rank", threads},
        {"mpi_ranks", ranks.count()}};
    if (interruptRequested())
        timing["interrupted_by"] = signalName(interruptSignal());
    if (std::string reason =
            writeResults(job.prefix, sizes, job.request.grid, &job.request, timing);
        !reason.empty()) {
        say(reason);
        return 1;
    }
    if (!lost.empty() || failed) {
        say("samples are missing from " + job.prefix + ".totals (" +
            (lost.empty() ? "rank 0 failed" : lost) + "); " + howToFinish(job));
        return 1;
    }
    removeRankCheckpoints(job.prefix);
    if (complete(sizes, job.request))
        return 0;
    say("interrupted by " + std::string(signalName(interruptSignal())) + "; " +
        std::to_string(samplesIn(sizes)) + " samples are in " + job.prefix + ".totals; " +
        howToFinish(job));
    return 128 + interruptSignal();
}

} // namespace cli
