#pragma once

#include "scalingcommand.h"

#include <string>
#include <vector>

// `percolation-stats plot`: the curves of a result (PREFIX.csv, with the estimate from
// PREFIX.json) drawn offscreen into a PNG or SVG file.
namespace cli {

struct PlotSettings
{
    std::string input;  // PREFIX, or PREFIX.csv
    std::string output; // .png or .svg
    std::vector<std::string> observables = {"spanning", "p-inf", "chi"};
    int width = 560; // of each chart, in device-independent pixels
    int height = 420;
    double pMin = 0;
    double pMax = 1;
    bool force = false;
};

// The program that draws, beside percolation-stats.
inline constexpr const char* PlotHelper = "percolation-stats-plot";

inline const std::vector<std::string> plotObservables = {"spanning", "p-inf", "chi"};

// Each chart's side, in device-independent pixels; a PNG has twice as many device pixels each
// way, so three charts at most take about 200 MB while drawn.
inline constexpr int SmallestChartSide = 100;
inline constexpr int LargestChartSide = 2000;

// Draws the plot; runs in percolation-stats-plot, the one program that loads Qt, so that run,
// resume and merge start without it (on a cluster, and for scripts that call them often).
int plotCommand(const PlotSettings& settings, int argc, char** argv);

// The log–log plots of the preferred estimates of a scaling result side by side, drawn with
// percolation-stats-plot's Qt; `argc` and `argv` must outlive it.
ScalingPicture scalingPicture(int& argc, char** argv);

// In percolation-stats: hands the settings to percolation-stats-plot beside it, which replaces
// the process; without it (a build without Qt) says so and returns 1.
int launchPlot(const PlotSettings& settings);

// The settings as the arguments percolation-stats-plot takes, and back ("" or a reason).
std::vector<std::string> plotArguments(const PlotSettings& settings);
std::string readPlotArguments(int argc, char** argv, PlotSettings& settings);

} // namespace cli
