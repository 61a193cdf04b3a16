// percolation-stats: threshold and canonical curves of site percolation from many samples, on
// the command line, for long runs, clusters and scripts.

#include "mergecommand.h"
#include "nscommand.h"
#include "numbers.h"
#include "plotcommand.h"
#include "ranks.h"
#include "request.h"
#include "runcommand.h"
#include "say.h"
#include "scalingcommand.h"
#include "standardoutput.h"
#include "stats/curvescsv.h"
#include "stats/runner.h"
#include "universality.h"
#include "version.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include <cstdio>
#include <functional>
#include <new>

namespace {

// Every number is taken as text and read by the strict readers of numbers.h once the command
// line is parsed, so that each refusal is one line naming the option and its range.
class Numbers
{
public:
    template <typename T>
    CLI::Option* whole(CLI::App& app, const std::string& name, T& target, cli::WholeRange range,
                       const std::string& help)
    {
        return add(app, name,
                   help + " (" + std::to_string(range.min) + " to " + std::to_string(range.max) +
                       ")",
                   [&target, name, range](const std::string& text) {
                       std::uint64_t value = 0;
                       std::string reason = cli::readWhole(name, text, range, value);
                       if (reason.empty())
                           target = static_cast<T>(value);
                       return reason;
                   });
    }
    CLI::Option* decimal(CLI::App& app, const std::string& name, double& target,
                         cli::DecimalRange range, const std::string& help)
    {
        return add(app, name, help, [&target, name, range](const std::string& text) {
            return cli::readDecimal(name, text, range, target);
        });
    }
    CLI::Option* sizes(CLI::App& app, const std::string& name, std::vector<int>& target,
                       const std::string& help)
    {
        const cli::WholeRange range{2, stats::LargestL};
        return add(app, name, help, [&target, name, range](const std::string& text) {
            std::vector<std::uint64_t> values;
            std::string reason = cli::readWholeList(name, text, range, values);
            if (reason.empty())
                target.assign(values.begin(), values.end());
            return reason;
        });
    }
    CLI::Option* choice(CLI::App& app, const std::string& name, std::string& target,
                        const std::vector<std::string>& allowed, const std::string& help)
    {
        return add(app, name, help, [&target, name, allowed](const std::string& text) {
            for (const std::string& one : allowed)
                if (text == one) {
                    target = text;
                    return std::string();
                }
            return name + ": " + cli::quoted(text) + " is not one of " + cli::listOf(allowed);
        });
    }

    // A comma-separated list of words from `allowed`, each once.
    CLI::Option* choices(CLI::App& app, const std::string& name, std::vector<std::string>& target,
                         const std::vector<std::string>& allowed, const std::string& help)
    {
        return add(app, name, help, [&target, name, allowed](const std::string& text) {
            std::vector<std::string> words;
            for (std::size_t start = 0;;) {
                const std::size_t comma = text.find(',', start);
                const std::string word = text.substr(start, comma - start);
                if (std::find(allowed.begin(), allowed.end(), word) == allowed.end())
                    return name + ": " + cli::quoted(word) + " is not one of " +
                           cli::listOf(allowed);
                if (std::find(words.begin(), words.end(), word) != words.end())
                    return name + ": " + word + " is given twice";
                words.push_back(word);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
            target = words;
            return std::string();
        });
    }

    // The first refusal among the options given to `command`, or "".
    std::string read(const CLI::App* command) const
    {
        for (const Pending& p : pending)
            if (p.app == command && p.option->count() > 0)
                if (std::string reason = p.read(*p.text); !reason.empty())
                    return reason;
        return {};
    }

private:
    struct Pending
    {
        const CLI::App* app;
        CLI::Option* option;
        std::shared_ptr<std::string> text;
        std::function<std::string(const std::string&)> read;
    };

    CLI::Option* add(CLI::App& app, const std::string& name, const std::string& help,
                     std::function<std::string(const std::string&)> read)
    {
        auto text = std::make_shared<std::string>();
        CLI::Option* option = app.add_option(name, *text, help);
        pending.push_back({&app, option, text, std::move(read)});
        return option;
    }

    std::vector<Pending> pending;
};

void addGrid(Numbers& numbers, CLI::App& command, cli::PGrid& grid, const std::string& what)
{
    const cli::DecimalRange unit{0, 1};
    numbers.decimal(command, "--p-min", grid.min, unit, "Smallest p of the curves, 0 to 1" + what);
    numbers.decimal(command, "--p-max", grid.max, unit, "Largest p of the curves, 0 to 1" + what);
    numbers.decimal(command, "--p-step", grid.step, {0, 1, true},
                    "Step between the values of p, above 0 up to 1" + what);
}

void addExecution(Numbers& numbers, CLI::App& command, cli::Execution& execution)
{
    numbers.whole(command, "--threads", execution.threads,
                  {1, static_cast<std::uint64_t>(stats::MaxThreads)},
                  "Threads per process; default: OMP_NUM_THREADS or one per core, at most " +
                      std::to_string(stats::MaxThreads));
    numbers.decimal(command, "--checkpoint", execution.checkpointMinutes, {0, 100000},
                    "Minutes between saves of the totals, so that a killed run loses at most "
                    "that much (default 10; 0: never; fractions allowed)");
}

// Everything but the last flush of standard output.
int runProgram(int argc, char** argv)
{
    cli::Ranks ranks(argc, argv);
    Numbers numbers;

    CLI::App app{"Site and bond percolation on the square, triangular, honeycomb and simple cubic "
                 "lattices from many samples: canonical curves of the spanning probability, P∞ "
                 "and χ against p, and estimates of the threshold pc. Each sample is a "
                 "Newman–Ziff sweep that occupies sites (or bonds) one at a time."};
    app.name("percolation-stats");
    app.require_subcommand(1);
    app.set_version_flag("-V,--version", cli::versionLine(app.get_name()),
                         "Print the program's name and version, and exit");
    app.footer("Example: percolation-stats run --boundary torus --sizes 32,64,128 --samples 20000 "
               "--output torus && percolation-stats plot torus --output torus.png");

    cli::RunSettings run;
    CLI::App* runApp = app.add_subcommand(
        "run", "Sample every size and write PREFIX.csv (curves), PREFIX.json (parameters, pc "
               "estimates, timing) and PREFIX.totals (exact sums, for merge and resume). Ctrl+C, "
               "SIGTERM or SIGHUP stop it early: the samples done are written, and resume "
               "finishes the run.");
    runApp->footer(stats::curvesCsvColumns());
    numbers
        .sizes(*runApp, "--sizes", run.request.sizes,
               "Lattice sizes L, comma-separated, e.g. 64,128 (2 to " +
                   std::to_string(stats::LargestL) + ", less for some lattices)")
        ->required();
    std::string lattice = stats::latticeName(run.request.lattice);
    numbers.choice(*runApp, "--lattice", lattice, cli::latticeChoices(),
                   "square; triangular: the square grid plus the diagonal from (x, y) to "
                   "(x + 1, y − 1), an L × L rhombus; honeycomb: a brick wall of L × L sites, "
                   "even L on a torus; cubic: L × L × L (default square)");
    std::string model = stats::modelName(run.request.model);
    numbers.choice(*runApp, "--model", model, cli::modelChoices(),
                   "site: each site occupied with probability p; bond: each bond, every site "
                   "belonging to a cluster (default site)");
    std::string boundary = "open";
    numbers.choice(*runApp, "--boundary", boundary, {"open", "torus"},
                   "open: crossing between opposite edges; torus: wrapping around (default open)");
    std::string sampleCount;
    runApp
        ->add_option("--samples", sampleCount,
                     "Samples per size; N@L: N samples at size L and in proportion to 1/L at "
                     "the others (rounded up), which for one budget of time gives the exponents "
                     "smaller errors than equal counts, e.g. 30000@512")
        ->required();
    numbers.whole(*runApp, "--seed", run.request.seed, {},
                  "Seed of the random streams, default 1");
    addExecution(numbers, *runApp, run.execution);
    addGrid(numbers, *runApp, run.request.grid, " (default 0, 1 and 0.002)");
    numbers.whole(*runApp, "--first-sample", run.request.firstSample, {},
                  "Number of the first sample; separate jobs take disjoint ranges (default 0)");
    std::string nsAt = "pc";
    runApp->add_option("--ns-at", nsAt,
                       "Canonical snapshots of every sample at these p, comma-separated: pc (the "
                       "known threshold of the lattice and model) or numbers between 0 and 1; "
                       "none for no snapshots (default pc). Each sample is looked at once per p, "
                       "at n ~ Binomial(E, p): S_max, its square, the sum of s^2 and the "
                       "clusters per size bin, the input of scaling and of n_s");
    runApp->add_option("--output", run.output, "Prefix of the result files")->required();
    runApp->add_flag("--force", run.force, "Replace existing result files");

    cli::ResumeSettings resume;
    CLI::App* resumeApp = app.add_subcommand(
        "resume", "Finish an interrupted run: sample what PREFIX.totals and the checkpoints of "
                  "its ranks lack of the run recorded in PREFIX.json, and write what one "
                  "uninterrupted run would have written");
    resumeApp->add_option("prefix", resume.prefix, "PREFIX of the interrupted run")->required();
    addExecution(numbers, *resumeApp, resume.execution);

    cli::MergeSettings merge;
    cli::PGrid mergeGrid;
    CLI::App* mergeApp = app.add_subcommand(
        "merge", "Add the accumulator files of runs of the same lattice, model, sizes, boundary "
                 "and seed with disjoint samples, and write what one run of them all would have "
                 "written");
    mergeApp
        ->add_option("inputs", merge.inputs,
                     "PREFIX.totals files (or their PREFIX, or another file of the result)")
        ->required();
    addGrid(numbers, *mergeApp, mergeGrid, " (default: the grid of the inputs)");
    mergeApp->add_option("--output", merge.output, "Prefix of the result files")->required();
    mergeApp->add_flag("--force", merge.force, "Replace existing result files");

    cli::PlotSettings plot;
    CLI::App* plotApp = app.add_subcommand(
        "plot", "Draw the curves of a result (spanning probability, P∞ and χ against p, one "
                "line per size, the estimate of pc and the known pc marked) into a PNG or SVG "
                "file; needs no display");
    plotApp->add_option("input", plot.input, "PREFIX of a result (reads PREFIX.csv, .json)")
        ->required();
    plotApp->add_option("--output", plot.output, "Picture file, .png or .svg")->required();
    numbers.choices(*plotApp, "--observables", plot.observables, cli::plotObservables,
                    "Which charts, side by side, comma-separated, each once: " +
                        cli::listOf(cli::plotObservables) + " (default all)");
    const cli::WholeRange side{cli::SmallestChartSide, cli::LargestChartSide};
    numbers.whole(*plotApp, "--width", plot.width, side, "Width of each chart, default 560");
    numbers.whole(*plotApp, "--height", plot.height, side, "Height of each chart, default 420");
    numbers.decimal(*plotApp, "--p-min", plot.pMin, {0, 1}, "Left end of the p axis, 0 to 1");
    numbers.decimal(*plotApp, "--p-max", plot.pMax, {0, 1}, "Right end of the p axis, 0 to 1");
    plotApp->add_flag("--force", plot.force, "Replace an existing picture");

    cli::ScalingSettings scaling;
    CLI::App* scalingApp = app.add_subcommand(
        "scaling", "Critical exponents by finite-size scaling over the sizes of a result (four or "
                   "more, run with snapshots at pc, as run does by default): 1/nu from dR/dp, "
                   "gamma/nu, beta/nu and D from the largest cluster, tau from n_s, each with a "
                   "jackknife error and a fit with the correction L^-omega where needed; prints "
                   "a table and writes PREFIX-scaling.json");
    scalingApp->add_option("input", scaling.input, "PREFIX of a result (reads PREFIX.totals)")
        ->required();
    numbers.decimal(*scalingApp, "--omega", scaling.omega, {0, 100, true},
                    "Exponent of the correction to scaling (default: 3/2 in the plane, 1.61 in "
                    "space)");
    scalingApp->add_option("--plot", scaling.plot,
                           "Also draw the log-log plot of each preferred estimate (the points, "
                           "the fit, the line of the known exponent) side by side into this "
                           "PNG or SVG file");
    scalingApp->add_flag("--force", scaling.force,
                         "Replace an existing PREFIX-scaling.json and picture");

    cli::UniversalitySettings universality;
    CLI::App* universalityApp = app.add_subcommand(
        "universality",
        "Sample every lattice and model at a few sizes, with snapshots at its known threshold, "
        "and print one table of pc and the critical exponents 1/ν, β/ν, γ/ν, D and τ by "
        "finite-size scaling: each cell the estimate ± its jackknife error, the known value and "
        "the distance in σ. Writes the table as PREFIX.md and PREFIX.json, and each pair as the "
        "result of a run, PREFIX-LATTICE-MODEL.csv, .json and .totals (e.g. PREFIX-square-site), "
        "which scaling, ns, plot and resume read. Ctrl+C, SIGTERM or SIGHUP stop it early with "
        "what is done written; the same command again continues: complete pairs are read, the "
        "others finished. With the defaults it takes about " +
            std::to_string(cli::UniversalityCpuMinutes) +
            " minutes of one core, half that on two");
    numbers.sizes(*universalityApp, "--sizes", universality.sizes,
                  "Sizes L of the lattices in the plane, at least 4 (default 32,64,128,256)");
    numbers.sizes(*universalityApp, "--cubic-sizes", universality.cubicSizes,
                  "Sizes L of the simple cubic lattice, at least 4 (default 12,16,24,32)");
    numbers.whole(*universalityApp, "--samples", universality.samples,
                  {stats::JackknifeGroups, 1000000000},
                  "Samples at the largest size of each lattice; a size L takes samples·L_max/L "
                  "(default " +
                      std::to_string(universality.samples) + ")");
    std::vector<std::string> lattices = cli::latticeChoices(), models = cli::modelChoices();
    numbers.choices(*universalityApp, "--lattices", lattices, cli::latticeChoices(),
                    "Lattices, comma-separated (default all: " + cli::listOf(lattices) + ")");
    numbers.choices(*universalityApp, "--models", models, cli::modelChoices(),
                    "Models, comma-separated (default both: " + cli::listOf(models) + ")");
    std::string universalityBoundary = "torus";
    numbers.choice(*universalityApp, "--boundary", universalityBoundary, {"open", "torus"},
                   "open: crossing; torus: wrapping (default torus)");
    numbers.whole(*universalityApp, "--seed", universality.seed, {},
                  "Seed of the random streams, default 1");
    addExecution(numbers, *universalityApp, universality.execution);
    universalityApp
        ->add_option("--output", universality.output,
                     "Prefix of the table, PREFIX.md and .json, and of the pairs' results")
        ->required();
    universalityApp->add_flag("--force", universality.force,
                              "Replace files at PREFIX.md and .json that are no table of this "
                              "command, and start anew the pairs whose results there were made "
                              "with other settings");

    cli::NsSettings ns;
    CLI::App* nsApp = app.add_subcommand(
        "ns", "The cluster-size distribution n_s at each p of a result's snapshots (run with "
              "--ns-at; pc by default): clusters per site and per unit of s in logarithmic bins "
              "of s, with jackknife errors, written to PREFIX-ns.csv with the columns p, L, "
              "samples, s_first, s_last, s (the bin's geometric mean), n_s, n_s_error");
    nsApp->add_option("input", ns.input, "PREFIX of a result (reads PREFIX.totals)")->required();
    nsApp->add_flag("--force", ns.force, "Replace an existing PREFIX-ns.csv");

    std::vector<std::string> commands;
    for (CLI::App* command :
         {runApp, resumeApp, mergeApp, plotApp, scalingApp, universalityApp, nsApp}) {
        commands.push_back(command->get_name());
        for (CLI::Option* option : command->get_options())
            option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }

    auto refuse = [&](const std::string& reason) {
        if (ranks.leader())
            cli::say(reason);
        return 1;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return ranks.leader() ? app.exit(help) : 0;
    } catch (const CLI::CallForVersion& version) {
        return ranks.leader() ? app.exit(version) : 0;
    } catch (const CLI::ParseError& error) {
        // The parser's own words would say a command is required when a misspelt one was given.
        for (int i = 1; i < argc && app.get_subcommands().empty(); ++i)
            if (argv[i][0] != '-')
                return refuse(cli::quoted(argv[i]) + " is not a command; the commands are " +
                              cli::listOf(commands) + " (see --help)");
        return refuse(std::string(error.what()) + " (see --help)");
    }
    for (const CLI::App* command :
         {runApp, resumeApp, mergeApp, plotApp, scalingApp, universalityApp, nsApp}) {
        if (!command->parsed())
            continue;
        // Which of two values was meant is anybody's guess.
        for (const CLI::Option* option : command->get_options())
            if (option->nonpositional() && option->count() > 1)
                return refuse(option->get_name() + " is given more than once; give it once");
        if (std::string reason = numbers.read(command); !reason.empty())
            return refuse(reason);
    }

    try {
        if (runApp->parsed()) {
            run.request.boundary =
                boundary == "torus" ? stats::Boundary::Torus : stats::Boundary::Open;
            stats::parseLattice(lattice, run.request.lattice);
            stats::parseModel(model, run.request.model);
            if (std::string reason =
                    cli::readSampleCount(sampleCount, run.request.samples, run.request.samplesAt);
                !reason.empty())
                return refuse(reason);
            if (std::string reason = cli::readSnapshotList(
                    nsAt, run.request.lattice, run.request.model, run.request.snapshotAt);
                !reason.empty())
                return refuse(reason);
            return cli::runCommand(run, ranks);
        }
        if (resumeApp->parsed())
            return cli::resumeCommand(resume, ranks);
        if (universalityApp->parsed()) {
            universality.boundary =
                universalityBoundary == "torus" ? stats::Boundary::Torus : stats::Boundary::Open;
            universality.lattices.clear();
            for (const std::string& name : lattices)
                stats::parseLattice(name, universality.lattices.emplace_back());
            universality.models.clear();
            for (const std::string& name : models)
                stats::parseModel(name, universality.models.emplace_back());
            universality.arguments.assign(argv + 1, argv + argc);
            return cli::universalityCommand(universality, ranks);
        }
        if (!ranks.leader())
            return 0;
        if (nsApp->parsed())
            return cli::nsCommand(ns);
        if (scalingApp->parsed())
            return scaling.plot.empty() ? cli::scalingCommand(scaling)
                                        : cli::launchScalingPlot(scaling);
        if (mergeApp->parsed()) {
            for (const char* name : {"--p-min", "--p-max", "--p-step"})
                if (mergeApp->get_option(name)->count() > 0)
                    merge.grid = mergeGrid;
            return cli::mergeCommand(merge);
        }
        return cli::launchPlot(plot);
    } catch (const std::bad_alloc&) {
        return refuse("out of memory");
    }
}

} // namespace

int main(int argc, char** argv)
{
    return cli::withOutputFlushed(runProgram(argc, argv));
}
