#pragma once

#include "outputfiles.h"
#include "pgrid.h"
#include "request.h"
#include "stats/totals.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

// What a run, resume or merge writes. Everything but "timing" is computed from the totals, the
// p grid and the request alone, so that the same samples give the same bytes however they were
// split up or interrupted.
namespace cli {

// Parameters, samples per size (with the sample numbers as ranges), the p grid and, when
// `estimates`, the threshold estimates; with a request, the request and whether it is complete.
// The caller adds "timing".
nlohmann::ordered_json summary(const std::vector<stats::Totals>& sizes, const PGrid& grid,
                               const Request* request, bool estimates = true);

// The files that `scaling` and `ns` derive from a result, PREFIX + suffix: a result started anew
// takes them away with its old samples.
inline constexpr const char* ScalingSuffix = "-scaling.json";
inline constexpr const char* NsSuffix = "-ns.csv";

// Whether every size holds every sample the request asks for.
bool complete(const std::vector<stats::Totals>& sizes, const Request& request);

OutputFile totalsFile(const std::string& path, const std::vector<stats::Totals>& sizes);
OutputFile jsonFile(const std::string& path, const nlohmann::ordered_json& json);

// The three result files under `prefix`, totals first, with `timing` added to the summary.
// Returns "" or a one-line reason; when they cannot be written the totals are rescued
// elsewhere and the reason says where.
std::string writeResults(const std::string& prefix, const std::vector<stats::Totals>& sizes,
                         const PGrid& grid, const Request* request,
                         const nlohmann::ordered_json& timing);

std::uint64_t samplesIn(const std::vector<stats::Totals>& sizes);

// Reads an accumulator file; returns "" or a one-line reason naming it.
std::string readTotalsFile(const std::string& path, std::vector<stats::Totals>& sizes);

} // namespace cli
