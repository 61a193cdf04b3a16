// percolation-stats-plot: the plot of percolation-stats, in a program of its own so that only
// plotting loads Qt. percolation-stats checks the options and starts it.

#include "plotcommand.h"

#include <cstdio>
#include <new>

int main(int argc, char** argv)
{
    cli::PlotSettings settings;
    if (const std::string reason = cli::readPlotArguments(argc, argv, settings); !reason.empty()) {
        std::fprintf(stderr, "percolation-stats: plot: %s\n", reason.c_str());
        return 1;
    }
    try {
        return cli::plotCommand(settings, argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "percolation-stats: plot: out of memory\n");
        return 1;
    }
}
