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

Json thresholdJson(const std::vector<stats::Totals>& sizes)
{
    Json estimates = Json::array();
    std::vector<stats::ThresholdEstimate> preferred;
    const stats::Boundary boundary = sizes.front().boundary;
    const std::string name = stats::preferredEstimator(boundary);
    for (const stats::Totals& totals : sizes) {
        if (!hasSpread(totals))
            continue;
        for (const stats::ThresholdEstimate& estimate : stats::estimateThreshold(totals)) {
            estimates.push_back({{"L", estimate.L},
                                 {"estimator", estimate.estimator},
                                 {"estimate", estimate.estimate},
                                 {"error", estimate.error}});
            if (estimate.estimator == name)
                preferred.push_back(estimate);
        }
    }
    Json pc = {{"estimates", estimates}};
    if (!preferred.empty()) {
        const double theta = stats::correctionExponent(boundary);
        const stats::ThresholdEstimate combined = stats::combineSizes(preferred, theta);
        Json used = Json::array();
        for (const auto& estimate : preferred)
            used.push_back(estimate.L);
        pc["combined"] = {{"estimator", name},
                          {"estimate", combined.estimate},
                          {"error", combined.error},
                          {"sizes", used}};
        if (preferred.size() >= 2)
            pc["combined"]["correction_exponent"] = theta;
    }
    return pc;
}

} // namespace

bool complete(const std::vector<stats::Totals>& sizes, const Request& request)
{
    for (const stats::Totals& totals : sizes)
        if (!stats::missingSamples(totals, {request.firstSample, request.samples}).empty())
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
