#include "plotcommand.h"

#include "numbers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace cli {

std::vector<std::string> plotArguments(const PlotSettings& settings)
{
    std::string observables;
    for (const std::string& name : settings.observables)
        observables += (observables.empty() ? "" : ",") + name;
    return {PlotHelper,
            settings.input,
            settings.output,
            observables,
            std::to_string(settings.width),
            std::to_string(settings.height),
            decimalText(settings.pMin),
            decimalText(settings.pMax),
            settings.force ? "1" : "0"};
}

std::string readPlotArguments(int argc, char** argv, PlotSettings& settings)
{
    if (argc != 9)
        return std::string(PlotHelper) + " is started by percolation-stats plot";
    PlotSettings read;
    read.input = argv[1];
    read.output = argv[2];
    read.observables.clear();
    for (std::size_t start = 0;;) {
        const std::string list = argv[3];
        const std::size_t comma = list.find(',', start);
        read.observables.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    std::uint64_t width = 0, height = 0, force = 0;
    const WholeRange side{SmallestChartSide, LargestChartSide};
    for (const std::string& reason :
         {readWhole("width", argv[4], side, width), readWhole("height", argv[5], side, height),
          readDecimal("p-min", argv[6], {0, 1}, read.pMin),
          readDecimal("p-max", argv[7], {0, 1}, read.pMax),
          readWhole("force", argv[8], {0, 1}, force)})
        if (!reason.empty())
            return reason;
    read.width = static_cast<int>(width);
    read.height = static_cast<int>(height);
    read.force = force == 1;
    settings = read;
    return {};
}

namespace {

// Replaces the process by the helper beside it; returns 1 with a line for `command` without it.
int startHelper(std::vector<std::string> arguments, const char* command)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string helper = (self.parent_path() / PlotHelper).string();
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (!error && ::access(helper.c_str(), X_OK) == 0)
        ::execv(helper.c_str(), argv.data());
    std::fprintf(stderr,
                 "percolation-stats: %s needs %s beside percolation-stats, from a build with Qt "
                 "(configure with -DPERCOLATION_WITH_QT=ON)\n",
                 command, PlotHelper);
    return 1;
}

} // namespace

int launchPlot(const PlotSettings& settings)
{
    return startHelper(plotArguments(settings), "plot");
}

int launchScalingPlot(const ScalingSettings& settings)
{
    return startHelper(scalingPlotArguments(settings), "scaling --plot");
}

} // namespace cli
