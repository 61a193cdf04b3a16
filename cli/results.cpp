#include "results.h"

#include "stats/curvescsv.h"
#include "stats/runner.h"
#include "stats/threshold.h"
#include "stats/totalsfile.h"

#include <filesystem>
#include <fstream>
#include <ostream>

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

// Estimates need a spread over samples.
bool hasSpread(const stats::Totals& totals)
{
    return totals.samples() >= 2;
}

Json sampleRanges(const stats::Totals& totals)
{
    Json ranges = Json::array();
    const auto& events = totals.events;
    for (std::size_t i = 0; i < events.size();) {
        std::size_t j = i;
        while (j + 1 < events.size() && events[j + 1].sample == events[j].sample + 1)
            ++j;
        ranges.push_back({events[i].sample, events[j].sample});
        i = j + 1;
    }
    return ranges;
}

Json estimateJson(const stats::ThresholdEstimate& e)
{
    Json json = {{"L", e.L}};
    if (e.L2 > 0)
        json["L2"] = e.L2;
    json["estimator"] = e.estimator;
    json["estimate"] = e.estimate;
    json["error"] = e.error;
    return json;
}

// Every estimate, what each estimator's target is and how well it is known, the combined
// estimate and how it was made, and the known threshold it can be compared with.
Json thresholdJson(const std::vector<stats::Totals>& sizes)
{
    const stats::Geometry geometry = sizes.front().geometry();
    std::vector<const stats::Totals*> used;
    for (const stats::Totals& totals : sizes)
        if (hasSpread(totals))
            used.push_back(&totals);
    const stats::ThresholdReport report = stats::estimateThreshold(used);
    Json estimators = Json::array();
    for (const stats::Estimator& e : stats::estimatorsFor(geometry)) {
        Json one = {{"name", e.name}, {"target_is", stats::targetKindName(e.kind)}};
        if (e.kind != stats::TargetKind::Estimated)
            one["target"] = e.target;
        estimators.push_back(one);
    }
    Json estimates = Json::array();
    for (const stats::ThresholdEstimate& e : report.estimates)
        estimates.push_back(estimateJson(e));
    const double known = stats::knownThreshold(geometry.lattice, geometry.model);
    Json pc = {{"known", known}, {"estimators", estimators}, {"estimates", estimates}};
    const stats::CombinedThreshold& c = report.combined;
    if (c.estimator.empty()) {
        pc["no_combined_estimate"] = c.missing;
        return pc;
    }
    pc["combined"] = {{"estimator", c.estimator}, {"target_is", stats::targetKindName(c.target)}};
    if (c.target != stats::TargetKind::Estimated)
        pc["combined"]["target"] = c.targetValue;
    pc["combined"].update(
        Json{{"estimate", c.estimate}, {"error", c.error}, {"sizes", c.sizes}, {"rule", c.rule}});
    if (c.correctionExponent > 0)
        pc["combined"]["correction_exponent"] = c.correctionExponent;
    if (c.error > 0)
        pc["combined"]["sigmas_from_known"] = (c.estimate - known) / c.error;
    return pc;
}

} // namespace

bool complete(const std::vector<stats::Totals>& sizes, const Request& request)
{
    for (const stats::Totals& totals : sizes)
        if (!stats::missingSamples(totals, {request.firstSample, request.samplesFor(totals.L)})
                 .empty())
            return false;
    return sizes.size() == request.sizes.size();
}

std::uint64_t samplesIn(const std::vector<stats::Totals>& sizes)
{
    std::uint64_t done = 0;
    for (const stats::Totals& totals : sizes)
        done += totals.samples();
    return done;
}

nlohmann::ordered_json summary(const std::vector<stats::Totals>& sizes, const PGrid& grid,
                               const Request* request, bool estimates)
{
    Json sizeList = Json::array();
    for (const stats::Totals& totals : sizes)
        sizeList.push_back({{"L", totals.L},
                            {"samples", totals.samples()},
                            {"sample_ranges", sampleRanges(totals)}});
    Json json = {{"program", "percolation-stats"}};
    if (request)
        json["complete"] = complete(sizes, *request);
    json["lattice"] = stats::latticeName(sizes.front().lattice);
    json["model"] = stats::modelName(sizes.front().model);
    json["boundary"] = stats::boundaryName(sizes.front().boundary);
    json["seed"] = sizes.front().seed;
    if (request)
        json["request"] = request->json();
    json["sizes"] = sizeList;
    json["p_grid"] = {{"min", grid.min},
                      {"max", grid.max},
                      {"step", grid.step},
                      {"points", grid.values().size()}};
    if (estimates)
        json["pc"] = thresholdJson(sizes);
    return json;
}

OutputFile totalsFile(const std::string& path, const std::vector<stats::Totals>& sizes)
{
    return {path, [&sizes](std::ostream& out) { stats::writeTotals(out, sizes); }};
}

OutputFile jsonFile(const std::string& path, const nlohmann::ordered_json& json)
{
    return {path, [&json](std::ostream& out) { out << json.dump(2) << '\n'; }};
}

std::string writeResults(const std::string& prefix, const std::vector<stats::Totals>& sizes,
                         const PGrid& grid, const Request* request,
                         const nlohmann::ordered_json& timing)
{
    Json json = summary(sizes, grid, request);
    json["timing"] = timing;
    const std::vector<double> ps = grid.values();
    const OutputFile totals = totalsFile(prefix + ".totals", sizes);
    const std::string reason = writeAll(
        {totals, jsonFile(prefix + ".json", json), {prefix + ".csv", [&](std::ostream& out) {
                                                        stats::writeCurvesCsv(out, sizes, ps);
                                                    }}});
    if (reason.empty())
        return {};
    const std::string saved = rescue(totals);
    return reason + (saved.empty() ? "; the samples could not be saved anywhere"
                                   : "; the " + std::to_string(samplesIn(sizes)) +
                                         " samples are saved in " + saved);
}

std::string readTotalsFile(const std::string& path, std::vector<stats::Totals>& sizes)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return "cannot read " + path +
               (fs::exists(path, error) ? ": not a regular file" : ": no such file");
    std::ifstream in(path, std::ios::binary);
    std::string reason;
    if (!in || !stats::readTotals(in, sizes, reason))
        return path + ": " + (reason.empty() ? "cannot read it" : reason);
    return {};
}

} // namespace cli
