// percolation-stats-plot: the plot of percolation-stats, in a program of its own so that only
// plotting loads Qt. percolation-stats checks the options and starts it.

#include "plotcommand.h"
#include "scalingcommand.h"
#include "standardoutput.h"
#include "version.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <new>

namespace {

// Qt's own warnings (a missing runtime folder, a platform plugin's remarks) say nothing about
// the plot; the program speaks for itself in one line, and only Qt's critical errors get through.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// Everything but the last flush of standard output.
int plotProgram(int argc, char** argv)
{
    qInstallMessageHandler(quietQtMessages);
    if (argc == 2 && (std::string(argv[1]) == "--version" || std::string(argv[1]) == "-V")) {
        std::printf("%s\n", cli::versionLine(cli::PlotHelper).c_str());
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "scaling") {
        cli::ScalingSettings scaling;
        if (const std::string reason = cli::readScalingPlotArguments(argc, argv, scaling);
            !reason.empty()) {
            std::fprintf(stderr, "percolation-stats: scaling: %s\n", reason.c_str());
            return 1;
        }
        try {
            return cli::scalingCommand(scaling, cli::scalingPicture(argc, argv));
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "percolation-stats: scaling: out of memory\n");
            return 1;
        }
    }
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

} // namespace

int main(int argc, char** argv)
{
    return cli::withOutputFlushed(plotProgram(argc, argv));
}
