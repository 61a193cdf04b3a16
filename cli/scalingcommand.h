#pragma once

#include "stats/scaling.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <limits>
#include <string>
#include <vector>

// `percolation-stats scaling PREFIX`: critical exponents by finite-size scaling over the sizes
// of a result (PREFIX.totals, four sizes or more, with snapshots at pc), written to
// PREFIX-scaling.json and printed as a table; with --plot, the log–log plots of the preferred
// estimates drawn by percolation-stats-plot, which then runs the whole command.
namespace cli {

struct ScalingSettings
{
    std::string input;                                       // PREFIX, or PREFIX.totals
    double omega = std::numeric_limits<double>::quiet_NaN(); // NaN: the dimension's known ω
    std::string plot;                                        // a .png or .svg file; empty: none
    bool force = false;
};

// Draws the result's plots, fitted with the correction exponent ω, into `path`; "" or a one-line
// reason.
using ScalingPicture =
    std::function<std::string(const stats::ScalingResult&, double omega, const std::string& path)>;

// Every estimate with its fits, the known value and its distance in σ, the points of its
// log–log plot, hyperscaling and what was left out.
nlohmann::ordered_json scalingJson(const stats::ScalingResult& result);

// The table printed: one row per estimate, the preferred ones marked.
std::string scalingTable(const stats::ScalingResult& result);

// Checks, reads and analyses; draws the picture (when asked for and `picture` is given) before
// writing the JSON, so that a picture refused leaves every file as it was.
int scalingCommand(const ScalingSettings& settings, const ScalingPicture& picture = {});

// In percolation-stats: hands a scaling with --plot to percolation-stats-plot (as launchPlot).
int launchScalingPlot(const ScalingSettings& settings);
// The settings as the helper's arguments, and back: "" or a reason.
std::vector<std::string> scalingPlotArguments(const ScalingSettings& settings);
std::string readScalingPlotArguments(int argc, char** argv, ScalingSettings& settings);

} // namespace cli
