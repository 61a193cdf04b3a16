#pragma once

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

inline const std::vector<std::string> plotObservables = {"spanning", "p-inf", "chi"};

// Each chart's side, in device-independent pixels; a PNG has twice as many device pixels each
// way, so three charts at most take about 200 MB while drawn.
inline constexpr int SmallestChartSide = 100;
inline constexpr int LargestChartSide = 2000;

// Needs a build with Qt; otherwise says so and fails.
int plotCommand(const PlotSettings& settings, int argc, char** argv);

} // namespace cli
