#pragma once

#include "pgrid.h"
#include "stats/totals.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

// What a run or a merge writes. Everything but "timing" is computed from the totals and the p
// grid alone, so that the same samples give the same bytes however they were split up.
namespace cli {

// Columns p, L, then each observable and its standard error; one row per size and p.
std::string curvesCsv(const std::vector<stats::Totals>& sizes, const PGrid& grid);

// Parameters, samples per size (with the sample numbers as ranges), the p grid and the
// threshold estimates. The caller adds "timing".
nlohmann::ordered_json summary(const std::vector<stats::Totals>& sizes, const PGrid& grid);

std::string totalsBytes(const std::vector<stats::Totals>& sizes);

// The three result files under `prefix`, with `timing` added to the summary.
std::string writeResults(const std::string& prefix, const std::vector<stats::Totals>& sizes,
                         const PGrid& grid, const nlohmann::ordered_json& timing);

} // namespace cli
