// percolation-stats: threshold and canonical curves of site percolation from many samples, on
// the command line, for long runs, clusters and scripts.

#include "mergecommand.h"
#include "plotcommand.h"
#include "ranks.h"
#include "runcommand.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace {

void addGridOptions(CLI::App& command, cli::PGrid& grid)
{
    command.add_option("--p-min", grid.min, "Smallest p of the CSV's curves")
        ->capture_default_str();
    command.add_option("--p-max", grid.max, "Largest p of the CSV's curves")
        ->capture_default_str();
    command.add_option("--p-step", grid.step, "Step between the values of p")
        ->capture_default_str();
}

} // namespace

int main(int argc, char** argv)
{
    cli::Ranks ranks(argc, argv);

    CLI::App app{"Site percolation on the square lattice from many samples: canonical curves of "
                 "the spanning probability, P∞ and χ against p, and estimates of the threshold "
                 "pc. Each sample is a Newman–Ziff sweep that occupies sites one at a time."};
    app.name("percolation-stats");
    app.require_subcommand(1);
    app.footer("Example: percolation-stats run --boundary torus --sizes 32,64,128 --samples 20000 "
               "--output torus && percolation-stats plot torus --output torus.png");

    cli::RunSettings run;
    CLI::App* runApp = app.add_subcommand(
        "run", "Sample every size and write PREFIX.csv (curves), PREFIX.json (parameters, pc "
               "estimates, timing) and PREFIX.totals (exact sums, for merge). Ctrl+C stops "
               "early and writes the samples done.");
    runApp->add_option("--sizes", run.sizes, "Lattice sizes L ≥ 2, comma-separated, e.g. 64,128")
        ->required()
        ->delimiter(',');
    runApp
        ->add_option("--boundary", run.boundary,
                     "open: crossing between opposite edges; torus: wrapping around")
        ->check(CLI::IsMember({"open", "torus"}))
        ->capture_default_str();
    runApp->add_option("--samples", run.samples, "Samples per size (at least 1)")
        ->required()
        ->check(CLI::NonNegativeNumber);
    runApp->add_option("--seed", run.seed, "Seed of the random streams")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    runApp->add_option("--threads", run.threads, "Threads per process (default: every core)");
    addGridOptions(*runApp, run.grid);
    runApp
        ->add_option("--first-sample", run.firstSample,
                     "Number of the first sample; separate jobs take disjoint ranges "
                     "(default 0)")
        ->check(CLI::NonNegativeNumber);
    runApp->add_option("--output", run.output, "Prefix of the result files")->required();
    runApp->add_flag("--force", run.force, "Replace existing result files");

    cli::MergeSettings merge;
    cli::PGrid mergeGrid;
    CLI::App* mergeApp = app.add_subcommand(
        "merge", "Add the accumulator files of runs of the same sizes, boundary and seed with "
                 "disjoint samples, and write what one run of them all would have written");
    mergeApp->add_option("inputs", merge.inputs, "PREFIX.totals files (or their PREFIX)")
        ->required();
    CLI::Option* mergeGridOptions[] = {
        mergeApp->add_option("--p-min", mergeGrid.min, "Smallest p of the curves"),
        mergeApp->add_option("--p-max", mergeGrid.max, "Largest p of the curves"),
        mergeApp->add_option("--p-step", mergeGrid.step,
                             "Step between values of p (default: the grid of the inputs)")};
    mergeApp->add_option("--output", merge.output, "Prefix of the result files")->required();
    mergeApp->add_flag("--force", merge.force, "Replace existing result files");

    cli::PlotSettings plot;
    CLI::App* plotApp = app.add_subcommand(
        "plot", "Draw the curves of a result (spanning probability, P∞ and χ against p, one "
                "line per size, pc marked) into a PNG or SVG file; needs no display");
    plotApp->add_option("input", plot.input, "PREFIX of a result (reads PREFIX.csv, .json)")
        ->required();
    plotApp->add_option("--output", plot.output, "Picture file, .png or .svg")->required();
    plotApp->add_option("--observables", plot.observables, "Which charts, side by side")
        ->delimiter(',')
        ->check(CLI::IsMember(cli::plotObservables))
        ->capture_default_str();
    plotApp->add_option("--width", plot.width, "Width of each chart")->capture_default_str();
    plotApp->add_option("--height", plot.height, "Height of each chart")->capture_default_str();
    plotApp->add_option("--p-min", plot.pMin, "Left end of the p axis")->capture_default_str();
    plotApp->add_option("--p-max", plot.pMax, "Right end of the p axis")->capture_default_str();
    plotApp->add_flag("--force", plot.force, "Replace an existing picture");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return ranks.leader() ? app.exit(help) : 0;
    } catch (const CLI::ParseError& error) {
        if (ranks.leader())
            std::fprintf(stderr, "percolation-stats: %s (see --help)\n", error.what());
        return 1;
    }

    if (runApp->parsed())
        return cli::runCommand(run, ranks);
    if (!ranks.leader())
        return 0;
    if (mergeApp->parsed()) {
        for (CLI::Option* option : mergeGridOptions)
            if (option->count() > 0)
                merge.grid = mergeGrid;
        return cli::mergeCommand(merge);
    }
    return cli::plotCommand(plot, argc, argv);
}
