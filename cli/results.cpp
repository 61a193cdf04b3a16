#include "results.h"

#include "outputfiles.h"
#include "stats/canonical.h"
#include "stats/threshold.h"
#include "stats/totalsfile.h"

#include <charconv>
#include <sstream>

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

// The shortest text that reads back as the same double: exact and stable across runs.
void appendNumber(std::string& out, double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

// Curves and estimates need a spread over samples.
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

std::string curvesCsv(const std::vector<stats::Totals>& sizes, const PGrid& grid)
{
    std::string csv = "p,L";
    for (int o = 0; o < stats::ObservableCount; ++o) {
        const std::string name = stats::observableName(static_cast<stats::Observable>(o));
        csv += "," + name + "," + name + "_error";
    }
    csv += '\n';
    const std::vector<double> ps = grid.values();
    for (const stats::Totals& totals : sizes) {
        if (!hasSpread(totals))
            continue;
        for (const stats::CurvePoint& point : stats::canonicalCurves(totals, ps)) {
            appendNumber(csv, point.p);
            csv += ',' + std::to_string(totals.L);
            for (int o = 0; o < stats::ObservableCount; ++o) {
                const auto i = static_cast<std::size_t>(o);
                csv += ',';
                appendNumber(csv, point.value[i]);
                csv += ',';
                appendNumber(csv, point.error[i]);
            }
            csv += '\n';
        }
    }
    return csv;
}

nlohmann::ordered_json summary(const std::vector<stats::Totals>& sizes, const PGrid& grid)
{
    Json sizeList = Json::array();
    for (const stats::Totals& totals : sizes)
        sizeList.push_back({{"L", totals.L},
                            {"samples", totals.samples()},
                            {"sample_ranges", sampleRanges(totals)}});
    return {{"program", "percolation-stats"},
            {"boundary", stats::boundaryName(sizes.front().boundary)},
            {"seed", sizes.front().seed},
            {"sizes", sizeList},
            {"p_grid",
             {{"min", grid.min},
              {"max", grid.max},
              {"step", grid.step},
              {"points", grid.values().size()}}},
            {"pc", thresholdJson(sizes)}};
}

std::string totalsBytes(const std::vector<stats::Totals>& sizes)
{
    std::ostringstream out(std::ios::binary);
    stats::writeTotals(out, sizes);
    return std::move(out).str();
}

std::string writeResults(const std::string& prefix, const std::vector<stats::Totals>& sizes,
                         const PGrid& grid, const nlohmann::ordered_json& timing)
{
    Json json = summary(sizes, grid);
    json["timing"] = timing;
    return writeAll({{prefix + ".csv", curvesCsv(sizes, grid)},
                     {prefix + ".json", json.dump(2) + "\n"},
                     {prefix + ".totals", totalsBytes(sizes)}});
}

} // namespace cli
