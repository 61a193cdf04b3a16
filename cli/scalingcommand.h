#pragma once

#include "stats/scaling.h"

#include <nlohmann/json.hpp>

#include <string>

// `percolation-stats scaling PREFIX`: critical exponents by finite-size scaling over the sizes
// of a result (PREFIX.totals, four sizes or more, with snapshots at pc), written to
// PREFIX-scaling.json and printed as a table.
namespace cli {

struct ScalingSettings
{
    std::string input;                                       // PREFIX, or PREFIX.totals
    double omega = std::numeric_limits<double>::quiet_NaN(); // NaN: the dimension's known ω
    bool force = false;
};

// Every estimate with its fits, the known value and its distance in σ, the points of its
// log–log plot, hyperscaling and what was left out.
nlohmann::ordered_json scalingJson(const stats::ScalingResult& result);

// The table printed: one row per estimate, the preferred ones marked.
std::string scalingTable(const stats::ScalingResult& result);

int scalingCommand(const ScalingSettings& settings);

} // namespace cli
