// Times one full Newman–Ziff sample (all observables, added to the totals) for the statistics
// engine and the straightforward baseline side by side, open and torus, at L = 128 and 600;
// every lattice and model against square sites, per element added, on lattices of about 2^18
// sites; the runner's throughput on one and two threads; and what a run of few samples spends
// besides sampling. Ends with tables of medians and the targets.

#include "stats/canonical.h"
#include "stats/runner.h"
#include "stats/sweep.h"
#include "stats/threshold.h"
#include "stats/totalsfile.h"
#include "straightforward_sweep.h"

#include "medianreporter.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::array<int, 2> Sizes{128, 600};
constexpr std::array<stats::Boundary, 2> Boundaries{stats::Boundary::Open, stats::Boundary::Torus};
constexpr int Repetitions = 7;
constexpr double MinTime = 0.3;
constexpr int RunnerL = 128;
constexpr std::uint64_t RunnerSamples = 64;
// A run of few samples: what percolation-stats run does besides sampling, for one size.
constexpr std::uint64_t FewSamples = 64;
constexpr double OutsideTarget = 0.05; // seconds
// Lattices of 2^18 sites in the plane and 64^3 = 2^18 in space, beyond the caches; every one
// must add elements at least half as fast as the square lattice adds sites.
constexpr int PlaneL = 512;
constexpr int SpaceL = 64;
constexpr double LatticeTarget = 0.5;

stats::Geometry latticeGeometry(stats::Lattice lattice, stats::Model model, stats::Boundary b)
{
    return {lattice, model, stats::dimensionsOf(lattice) == 3 ? SpaceL : PlaneL, b};
}

std::string latticeName(const stats::Geometry& g)
{
    return std::string("lattice/") + stats::latticeName(g.lattice) + "/" +
           stats::modelName(g.model) + "/" + stats::boundaryName(g.boundary);
}

std::string sampleName(const char* variant, stats::Boundary boundary, int L)
{
    return std::string("sample/") + variant + "/" + stats::boundaryName(boundary) + "/L" +
           std::to_string(L);
}

std::string runnerName(int threads)
{
    return "runner/L" + std::to_string(RunnerL) + "/threads" + std::to_string(threads);
}

void sampleEngine(benchmark::State& state, stats::Boundary boundary, int L)
{
    stats::Sweep sweep(L, boundary);
    stats::Totals totals(L, boundary, 1);
    std::uint64_t sample = 0;
    for (auto _ : state)
        sweep.run(1, sample++, totals);
    sweep.flush(totals);
    benchmark::DoNotOptimize(totals.sumLargest.data());
}

void sampleLattice(benchmark::State& state, stats::Geometry geometry)
{
    stats::Sweep sweep(geometry);
    stats::Totals totals(geometry, 1);
    std::uint64_t sample = 0;
    for (auto _ : state)
        sweep.run(1, sample++, totals);
    sweep.flush(totals);
    benchmark::DoNotOptimize(totals.sumLargest.data());
}

void sampleBaseline(benchmark::State& state, stats::Boundary boundary, int L)
{
    straightforward::SweepSums sums(L, boundary == stats::Boundary::Torus);
    std::mt19937_64 generator(1);
    for (auto _ : state)
        straightforward::sweepSample(sums, generator);
    benchmark::DoNotOptimize(sums.largest.data());
}

void runner(benchmark::State& state, int threads)
{
    std::uint64_t first = 0;
    for (auto _ : state) {
        const stats::Totals totals =
            stats::runSamples({RunnerL, stats::Boundary::Torus, 1, first, RunnerSamples}, threads);
        first += RunnerSamples;
        benchmark::DoNotOptimize(totals.sumLargest.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(RunnerSamples));
}

// Everything a run at L = 128 does besides the samples themselves: the threads' lattices and
// totals set up, flushed and added, then the curves on the default grid of 501 p, the pc
// estimates and the totals file, as `run` computes them.
void outsideSampling(benchmark::State& state)
{
    static const stats::Totals sampled =
        stats::runSamples({RunnerL, stats::Boundary::Torus, 1, 0, FewSamples}, 1);
    std::vector<double> grid;
    for (int i = 0; i <= 500; ++i)
        grid.push_back(i * 0.002);
    for (auto _ : state) {
        const stats::Totals none =
            stats::runSamples({RunnerL, stats::Boundary::Torus, 1, 0, 0}, 2);
        benchmark::DoNotOptimize(none.sumLargest.data());
        benchmark::DoNotOptimize(stats::canonicalCurves(sampled, grid).data());
        benchmark::DoNotOptimize(stats::estimateThreshold(sampled).data());
        std::ostringstream file;
        stats::writeTotals(file, {sampled});
        benchmark::DoNotOptimize(file.str().data());
    }
}

void registerAll()
{
    for (const int L : Sizes)
        for (const stats::Boundary b : Boundaries) {
            benchmark::RegisterBenchmark(sampleName("engine", b, L).c_str(), sampleEngine, b, L)
                ->Unit(benchmark::kMicrosecond)
                ->MinTime(MinTime)
                ->Repetitions(Repetitions);
            benchmark::RegisterBenchmark(sampleName("baseline", b, L).c_str(), sampleBaseline, b,
                                         L)
                ->Unit(benchmark::kMicrosecond)
                ->MinTime(MinTime)
                ->Repetitions(Repetitions);
        }
    for (const stats::Boundary b : Boundaries)
        for (const stats::Lattice lattice : stats::Lattices)
            for (const stats::Model model : stats::Models) {
                const stats::Geometry g = latticeGeometry(lattice, model, b);
                benchmark::RegisterBenchmark(latticeName(g).c_str(), sampleLattice, g)
                    ->Unit(benchmark::kMicrosecond)
                    ->MinTime(MinTime)
                    ->Repetitions(Repetitions);
            }
    benchmark::RegisterBenchmark("outside/L128", outsideSampling)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(MinTime)
        ->Repetitions(Repetitions)
        ->UseRealTime();
    for (const int threads : {1, 2})
        benchmark::RegisterBenchmark(runnerName(threads).c_str(), runner, threads)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(MinTime)
            ->Repetitions(Repetitions)
            ->UseRealTime();
}

// Prints the usual console lines, then a table of medians with the engine-to-baseline ratio.
class TableReporter : public MedianReporter
{
public:
    void Finalize() override
    {
        MedianReporter::Finalize();
        std::FILE* out = stdout;
        std::fflush(out);
        // Processor time for one sample, which other work on a shared machine disturbs less
        // than the wall clock; the runner's throughput is necessarily wall-clock.
        std::fprintf(out, "\nMedians of %d repetitions, processor time per sample\n\n",
                     Repetitions);
        std::fprintf(out, "%-6s %5s %12s %12s %9s %7s\n", "", "L", "engine", "baseline",
                     "speed-up", "target");
        for (const int L : Sizes)
            for (const stats::Boundary b : Boundaries) {
                const double* engine = find(sampleName("engine", b, L));
                const double* baseline = find(sampleName("baseline", b, L));
                if (engine == nullptr || baseline == nullptr)
                    continue;
                // Twice the speed of a careful independent program, which the baseline trails
                // least with open edges at L = 600.
                const double target = L == 600 && b == stats::Boundary::Open ? 7.0 : 5.0;
                const double ratio = *baseline / *engine;
                std::fprintf(out, "%-6s %5d %9.1f us %9.1f us %8.2fx %5.1fx %s\n",
                             stats::boundaryName(b), L, *engine, *baseline, ratio, target,
                             ratio >= target ? "met" : "MISSED");
            }
        latticeTable(out);
        const double* one = find(runnerName(1));
        const double* two = find(runnerName(2));
        if (one != nullptr && two != nullptr) {
            // The runner's medians are in milliseconds per call of RunnerSamples samples.
            const double samples = static_cast<double>(RunnerSamples) * 1e3;
            std::fprintf(out,
                         "\nRunner, torus L = %d: %.0f samples/s on 1 thread, %.0f on 2: "
                         "%.2fx (target 1.9x) %s\n",
                         RunnerL, samples / *one, samples / *two, *one / *two,
                         *one / *two >= 1.9 ? "met" : "MISSED");
        }
        if (const double* outside = find("outside/L128")) {
            std::fprintf(out,
                         "A run at L = %d spends %.3f s outside sampling (target %.2f s) %s\n",
                         RunnerL, *outside / 1e3, OutsideTarget,
                         *outside / 1e3 <= OutsideTarget ? "met" : "MISSED");
        }
        std::fflush(out);
    }

private:
    // Time per element added, and its ratio to the square lattice's time per site.
    void latticeTable(std::FILE* out) const
    {
        std::fprintf(out,
                     "\nEvery lattice and model against square sites: processor time per "
                     "element added, L = %d in the plane, %d in space\n\n",
                     PlaneL, SpaceL);
        std::fprintf(out, "%-11s %-5s %-6s %10s %11s %10s %9s %7s\n", "lattice", "model", "",
                     "elements", "per sample", "per elem.", "throughput", "target");
        for (const stats::Boundary b : Boundaries) {
            const stats::Geometry square =
                latticeGeometry(stats::Lattice::Square, stats::Model::Site, b);
            const double* reference = find(latticeName(square));
            for (const stats::Lattice lattice : stats::Lattices)
                for (const stats::Model model : stats::Models) {
                    const stats::Geometry g = latticeGeometry(lattice, model, b);
                    const double* time = find(latticeName(g));
                    if (time == nullptr || reference == nullptr)
                        continue;
                    const double perElement = *time * 1e3 / double(g.elements());
                    const double ratio = *reference * 1e3 / double(square.elements()) / perElement;
                    std::fprintf(out,
                                 "%-11s %-5s %-6s %10lld %8.0f us %7.2f ns %9.2fx %5.1fx %s\n",
                                 stats::latticeName(lattice), stats::modelName(model),
                                 stats::boundaryName(b), static_cast<long long>(g.elements()),
                                 *time, perElement, ratio, LatticeTarget,
                                 ratio >= LatticeTarget ? "met" : "MISSED");
                }
        }
    }

protected:
    double timeOf(const Run& run) const override
    {
        const std::string& name = run.run_name.function_name;
        return name.rfind("runner", 0) == 0 || name.rfind("outside", 0) == 0
                   ? run.GetAdjustedRealTime()
                   : run.GetAdjustedCPUTime();
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    registerAll();
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
