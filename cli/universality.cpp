#include "universality.h"

#include "interrupt.h"
#include "memory.h"
#include "outputfiles.h"
#include "progress.h"
#include "request.h"
#include "results.h"

#include "stats/exponenttable.h"
#include "stats/runner.h"
#include "stats/scalinginput.h"
#include "stats/threshold.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <ostream>

namespace cli {
namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

const std::vector<std::string> OutputSuffixes = {".json", ".md"};

void say(const std::string& line)
{
    std::fprintf(stderr, "percolation-stats: %s\n", line.c_str());
}

struct Pair
{
    stats::Geometry geometry; // L = 0
    std::vector<int> sizes;
};

std::vector<Pair> pairsOf(const UniversalitySettings& s)
{
    std::vector<Pair> pairs;
    for (const stats::Lattice lattice : s.lattices)
        for (const stats::Model model : s.models)
            pairs.push_back({{lattice, model, 0, s.boundary},
                             stats::dimensionsOf(lattice) == 3 ? s.cubicSizes : s.sizes});
    return pairs;
}

std::string pairName(const stats::Geometry& g)
{
    return std::string(stats::latticeName(g.lattice)) + " " + stats::modelName(g.model);
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The sizes of one pair, sampled with snapshots at its known threshold; on rank 0 with every
// rank's samples added. Returns false when interrupted or out of memory (after saying so).
bool samplePair(const UniversalitySettings& s, const Pair& pair, int threads, const Ranks& ranks,
                std::vector<stats::Totals>& sizes)
{
    const double pc = stats::knownThreshold(pair.geometry.lattice, pair.geometry.model);
    std::vector<std::uint64_t> counts;
    for (const int L : pair.sizes) {
        stats::Geometry g = pair.geometry;
        g.L = L;
        sizes.emplace_back(g, s.seed);
        sizes.back().snapshots = stats::snapshotLayout(g, {pc});
        counts.push_back(samplesAt(s.samples, L, pair.sizes.back()));
    }
    std::vector<std::uint64_t> shares;
    for (const std::uint64_t count : counts)
        shares.push_back(
            stats::sampleCount(stats::shareOf({{0, count}}, ranks.rank(), ranks.count())));
    Progress progress(pair.sizes, shares);
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
            stats::runSamples(
                sizes[i], stats::shareOf({{0, counts[i]}}, ranks.rank(), ranks.count()), control);
        }
    } catch (const std::bad_alloc&) {
        failed = true;
        say("rank " + std::to_string(ranks.rank()) + " ran out of memory");
    }
    progress.finish();
    const std::string lost = ranks.gatherTotals(sizes, failed);
    if (!lost.empty() && ranks.leader())
        say("samples of " + pairName(pair.geometry) + " are missing (" + lost + ")");
    return !failed && lost.empty() && !interruptRequested();
}

stats::TableRow analysePair(const Pair& pair, const std::vector<stats::Totals>& sizes)
{
    std::vector<const stats::Totals*> pointers;
    std::vector<std::uint64_t> samples;
    for (const stats::Totals& totals : sizes) {
        pointers.push_back(&totals);
        samples.push_back(totals.samples());
    }
    const stats::CombinedThreshold pc = stats::estimateThreshold(pointers).combined;
    std::string error;
    const stats::ScalingInput input = stats::scalingInput(sizes, error);
    stats::ScalingResult scaling;
    if (error.empty())
        scaling = stats::analyseScaling(input);
    else
        scaling.error = error;
    return stats::tableRow(pair.geometry, pair.sizes, samples, pc, scaling);
}

std::string writeTable(const UniversalitySettings& s, const std::vector<stats::TableRow>& rows,
                       Json timing)
{
    Json json = {{"command", "universality"},
                 {"boundary", stats::boundaryName(s.boundary)},
                 {"seed", s.seed},
                 {"samples_at_largest_size", s.samples},
                 {"snapshots_at", "the known threshold of each lattice and model"}};
    json["table"] = stats::tableJson(rows);
    json["timing"] = std::move(timing);
    const std::string markdown = stats::markdownTable(rows);
    return writeAll({{s.output + ".md", [&](std::ostream& out) { out << markdown; }},
                     jsonFile(s.output + ".json", json)});
}

} // namespace

std::uint64_t samplesAt(std::uint64_t samples, int L, int largest)
{
    // The policy of run --samples N@L, N at the largest size.
    Request request;
    request.samples = samples;
    request.samplesAt = largest;
    return request.samplesFor(L);
}

std::string checkUniversality(const UniversalitySettings& s, int ranks)
{
    for (const auto* list : {&s.sizes, &s.cubicSizes}) {
        const char* option = list == &s.sizes ? "--sizes" : "--cubic-sizes";
        std::vector<int> sorted = *list;
        std::sort(sorted.begin(), sorted.end());
        if (const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
            twice != sorted.end())
            return std::string(option) + ": " + std::to_string(*twice) + " is given twice";
        if (list->size() < stats::MinimumScalingSizes)
            return std::string(option) + ": finite-size scaling needs at least " +
                   std::to_string(stats::MinimumScalingSizes) + " sizes";
    }
    const std::vector<Pair> pairs = pairsOf(s);
    for (const Pair& pair : pairs)
        for (const int L : pair.sizes) {
            stats::Geometry g = pair.geometry;
            g.L = L;
            if (const std::string reason = g.check(); !reason.empty())
                return std::string(g.dimensions() == 3 ? "--cubic-sizes" : "--sizes") + ": " +
                       reason;
        }
    if (std::string reason = checkOutputPrefix(s.output, s.force, 1, OutputSuffixes);
        !reason.empty())
        return reason;
    for (const Pair& pair : pairs) {
        std::vector<stats::Geometry> geometries;
        for (const int L : pair.sizes)
            geometries.push_back({pair.geometry.lattice, pair.geometry.model, L, s.boundary});
        const std::uint64_t most = samplesAt(s.samples, pair.sizes.front(), pair.sizes.back());
        const double pc = stats::knownThreshold(pair.geometry.lattice, pair.geometry.model);
        if (std::string reason =
                checkMemory({geometries, most, std::max(s.execution.threads, 1), ranks, {pc}});
            !reason.empty())
            return reason;
    }
    return {};
}

int universalityCommand(const UniversalitySettings& given, const Ranks& ranks)
{
    UniversalitySettings s = given;
    for (auto* list : {&s.sizes, &s.cubicSizes})
        std::sort(list->begin(), list->end());
    s.execution.threads = resolveThreads(s.execution.threads, ranks);
    std::string verdict;
    PrefixLock lock;
    if (ranks.leader()) {
        verdict = checkUniversality(s, ranks.count());
        if (verdict.empty())
            verdict = lock.take(s.output);
    }
    if (const std::string plan = ranks.fromLeader(verdict); !plan.empty()) {
        if (ranks.leader())
            say(plan);
        return 1;
    }

    watchForInterrupt();
    const auto start = Clock::now();
    const std::vector<Pair> pairs = pairsOf(s);
    std::vector<stats::TableRow> rows;
    Json seconds = Json::object();
    bool complete = true;
    for (std::size_t i = 0; i < pairs.size() && complete; ++i) {
        const auto pairStart = Clock::now();
        std::vector<stats::Totals> sizes;
        complete = samplePair(s, pairs[i], s.execution.threads, ranks, sizes);
        // Every rank goes on to the next pair only if rank 0 does, which gathers its sums.
        complete = ranks.fromLeader(complete ? "go on" : "stop") == "go on";
        if (!complete || !ranks.leader())
            continue;
        rows.push_back(analysePair(pairs[i], sizes));
        seconds[pairName(pairs[i].geometry)] = secondsSince(pairStart);
        char line[160];
        std::snprintf(line, sizeof line, "%s done (%zu of %zu) in %.0f s",
                      pairName(pairs[i].geometry).c_str(), i + 1, pairs.size(),
                      secondsSince(pairStart));
        say(line);
    }
    if (!ranks.leader())
        return complete ? 0 : 1;
    Json timing = {{"seconds", secondsSince(start)},
                   {"seconds_per_pair", seconds},
                   {"threads_per_rank", s.execution.threads},
                   {"mpi_ranks", ranks.count()}};
    if (interruptRequested())
        timing["interrupted_by"] = signalName(interruptSignal());
    if (const std::string reason = writeTable(s, rows, timing); !reason.empty()) {
        say(reason);
        return 1;
    }
    std::fputs(stats::markdownTable(rows).c_str(), stdout);
    if (complete)
        return 0;
    if (interruptRequested()) {
        say("interrupted by " + std::string(signalName(interruptSignal())) + "; the table holds " +
            std::to_string(rows.size()) + " of " + std::to_string(pairs.size()) + " pairs");
        return 128 + interruptSignal();
    }
    return 1;
}

} // namespace cli
