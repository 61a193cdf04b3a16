#include "plotcommand.h"

#include <cstdio>

namespace cli {

int plotCommand(const PlotSettings&, int, char**)
{
    std::fprintf(stderr, "percolation-stats: plot needs a build with Qt "
                         "(configure with -DPERCOLATION_WITH_QT=ON)\n");
    return 1;
}

} // namespace cli
