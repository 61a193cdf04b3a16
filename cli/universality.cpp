#include "universality.h"

#include "interrupt.h"
#include "jsonfile.h"
#include "outputfiles.h"
#include "results.h"
#include "runcommand.h"
#include "say.h"

#include "stats/exponenttable.h"
#include "stats/scalinginput.h"
#include "stats/threshold.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <ostream>

namespace cli {
namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

const std::vector<std::string> OutputSuffixes = {".json", ".md"};

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

const char* sizesOption(const stats::Geometry& g)
{
    return stats::dimensionsOf(g.lattice) == 3 ? "--cubic-sizes" : "--sizes";
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// As a shell reads it back.
std::string commandLine(const std::vector<std::string>& arguments)
{
    std::string line = "percolation-stats";
    for (const std::string& word : arguments) {
        line += ' ';
        if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                    "0123456789@%+=:,./_-") == std::string::npos) {
            line += word;
            continue;
        }
        line += '\'';
        for (const char c : word)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

// A pair is the result PREFIX-lattice-model of what run --samples N@L_max --ns-at pc asks.
Job jobOf(const UniversalitySettings& s, const Pair& pair)
{
    const stats::Geometry& g = pair.geometry;
    Job job{"universality",
            {},
            s.output + "-" + stats::latticeName(g.lattice) + "-" + stats::modelName(g.model),
            s.execution,
            commandLine(s.arguments) + " again"};
    Request& r = job.request;
    r.lattice = g.lattice;
    r.model = g.model;
    r.sizes = pair.sizes;
    r.boundary = g.boundary;
    r.seed = s.seed;
    r.samples = s.samples;
    r.samplesAt = pair.sizes.back();
    r.snapshotAt = {stats::knownThreshold(g.lattice, g.model)};
    return job;
}

// The first setting in which a recorded request differs from the one wanted, as
// "--seed 4, not 3", or "". Numbers are compared by their exact JSON text.
std::string otherSetting(const Request& made, const Request& wanted, const char* sizesOption)
{
    const auto settings = [&](const Request& r) {
        const auto list = [](const Json& values) {
            std::string text;
            for (const Json& value : values) {
                if (!text.empty())
                    text += ',';
                text += value.dump();
            }
            return text;
        };
        std::string samples = std::to_string(r.samples);
        if (r.samplesAt > 0)
            samples.append("@").append(std::to_string(r.samplesAt));
        return std::vector<std::pair<std::string, std::string>>{
            {"--lattices", stats::latticeName(r.lattice)},
            {"--models", stats::modelName(r.model)},
            {sizesOption, list(r.sizes)},
            {"--boundary", stats::boundaryName(r.boundary)},
            {"--seed", std::to_string(r.seed)},
            {"--samples", samples},
            {"--first-sample", std::to_string(r.firstSample)},
            {"--ns-at", list(r.snapshotAt)},
            {"--p-min, --p-max, --p-step", list({r.grid.min, r.grid.max, r.grid.step})}};
    };
    const auto ours = settings(wanted), theirs = settings(made);
    for (std::size_t i = 0; i < ours.size(); ++i)
        if (theirs[i].second != ours[i].second)
            return ours[i].first + " " + theirs[i].second + ", not " + ours[i].second;
    return {};
}

// Whether the pair's result can be continued (`anew` false) or is to be started anew, taking
// its lock; "" or the one-line reason why neither.
std::string checkPair(const UniversalitySettings& s, const Job& job, const Pair& pair, int ranks,
                      PrefixLock& lock, bool& anew)
{
    if (std::string reason = checkOutputPrefix(job.prefix, true, ranks); !reason.empty())
        return reason;
    if (std::string reason = lock.take(job.prefix); !reason.empty())
        return reason;
    std::error_code error;
    const bool there =
        std::filesystem::exists(std::filesystem::symlink_status(job.prefix + ".json", error));
    anew = !there;
    if (there) {
        Request made;
        std::string reason = readRecordedRequest(job.prefix, made);
        if (reason.empty())
            if (const std::string other =
                    otherSetting(made, job.request, sizesOption(pair.geometry));
                !other.empty())
                reason = job.prefix + ".json was made with " + other;
        // Read again at the pair's turn, so that one pair's samples at a time are held.
        std::vector<stats::Totals> sizes;
        if (reason.empty())
            reason = gatherSamples(job.prefix, made, sizes);
        if (!reason.empty() && !s.force)
            return reason + " (--force starts this pair anew)";
        anew = !reason.empty();
    }
    return checkJob(job, ranks, s.force || there);
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

// A table there from an earlier start of this command is continued, not replaced.
bool isTable(const std::string& path)
{
    JsonFile file;
    std::string command;
    return file.read(path).empty() && file.text("command", command).empty() &&
           command == "universality";
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

std::string checkUniversality(const UniversalitySettings& s)
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
    for (const Pair& pair : pairsOf(s))
        for (const int L : pair.sizes) {
            stats::Geometry g = pair.geometry;
            g.L = L;
            if (const std::string reason = g.check(); !reason.empty())
                return std::string(sizesOption(g)) + ": " + reason;
        }
    return checkOutputPrefix(s.output, s.force || isTable(s.output + ".json"), 1, OutputSuffixes);
}

int universalityCommand(const UniversalitySettings& given, const Ranks& ranks)
{
    UniversalitySettings s = given;
    for (auto* list : {&s.sizes, &s.cubicSizes})
        std::sort(list->begin(), list->end());
    s.execution.threads = resolveThreads(s.execution.threads, ranks);
    const std::vector<Pair> pairs = pairsOf(s);
    std::vector<Job> jobs;
    for (const Pair& pair : pairs)
        jobs.push_back(jobOf(s, pair));
    std::string verdict;
    PrefixLock lock;
    std::deque<PrefixLock> pairLocks; // every pair's, so that no run or resume writes there
    std::vector<char> anew(pairs.size(), false);
    if (ranks.leader()) {
        verdict = checkUniversality(s);
        if (verdict.empty())
            verdict = lock.take(s.output);
        for (std::size_t i = 0; i < pairs.size() && verdict.empty(); ++i) {
            bool fresh = false;
            verdict =
                checkPair(s, jobs[i], pairs[i], ranks.count(), pairLocks.emplace_back(), fresh);
            anew[i] = fresh;
        }
    }
    if (const std::string plan = ranks.fromLeader(verdict); !plan.empty()) {
        if (ranks.leader())
            say(plan);
        return 1;
    }

    watchForInterrupt();
    const auto start = Clock::now();
    std::vector<stats::TableRow> rows;
    Json seconds = Json::object();
    int status = 0;
    for (std::size_t i = 0; i < pairs.size() && status == 0; ++i) {
        const auto pairStart = Clock::now();
        const Job& job = jobs[i];
        std::vector<stats::Totals> sizes;
        std::string reason;
        if (ranks.leader()) {
            if (anew[i])
                sizes = startAnew(job);
            else
                reason = gatherSamples(job.prefix, job.request, sizes);
        }
        const bool done = reason.empty() && !anew[i] && complete(sizes, job.request);
        // Every rank takes part in the pair's job, and goes on to the next pair, as rank 0 does.
        if (ranks.fromLeader(done ? "read" : "run") == "run") {
            status = runJob(job, std::move(sizes), reason, ranks);
            sizes.clear();
            if (status == 0 && ranks.leader())
                if (const std::string unread = gatherSamples(job.prefix, job.request, sizes);
                    !unread.empty()) {
                    say(unread);
                    status = 1;
                }
        }
        status = std::stoi(ranks.fromLeader(std::to_string(status)));
        if (status != 0 || !ranks.leader())
            continue;
        rows.push_back(analysePair(pairs[i], sizes));
        seconds[pairName(pairs[i].geometry)] = secondsSince(pairStart);
        char line[160];
        std::snprintf(line, sizeof line, "%s %s (%zu of %zu) in %.0f s",
                      pairName(pairs[i].geometry).c_str(), done ? "read" : "done", i + 1,
                      pairs.size(), secondsSince(pairStart));
        say(line);
    }
    if (!ranks.leader())
        return status;
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
    return status;
}

} // namespace cli
