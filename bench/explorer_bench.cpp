// The explorer's redraw at L = 600 from its precomputed history against the same picture worked
// out from scratch (occupation, clusters, largest, spanning, colours), both at the same p, so
// that the speed-up is a ratio of two medians from one run. "jumps" redraws at each p of a cycle
// that jumps across the whole range; the slowest single p is p = 1, with every site occupied.
// Also times building the history, once per lattice.

#include "stats/occupationhistory.h"
#include "straightforward_explorer.h"
#include "view/explorerpicture.h"
#include "view/latticepicture.h"

#include "medianreporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int L = 600;
constexpr std::uint64_t Seed = 1;
constexpr int Repetitions = 9;
constexpr double MinTime = 0.2;
// The budget of one redraw on one core.
constexpr double BudgetMs = 8;
constexpr double Jumps[] = {0.0, 1.0, 0.3, 0.5927, 0.9, 0.45, 0.61, 0.05, 0.75, 0.5931};
constexpr double Fixed[] = {0.45, 0.5927, 0.7, 1.0};
const explorer_picture::Style Style{true, false};

const stats::OccupationHistory& history()
{
    static const stats::OccupationHistory made(L, Seed);
    return made;
}

void redraw(QImage& image, std::vector<std::int32_t>& roots, double p)
{
    const stats::OccupationHistory& h = history();
    explorer_picture::compose(image, h, h.occupiedAt(p), Style, roots);
}

void recompute(QImage& image, double p)
{
    const auto sites = straightforward::exploreAt(L, Seed, p);
    for (int s = 0; s < L * L; ++s) {
        const auto& site = sites[std::size_t(s)];
        image.setPixel(s % L, s / L,
                       explorer_picture::siteColour(site.oldestSite >= 0, site.oldestSite,
                                                    site.largest, site.spans, Style));
    }
}

template <bool Precomputed> void cycle(benchmark::State& state, std::vector<double> ps)
{
    QImage image = lattice_picture::makeImage();
    std::vector<std::int32_t> roots;
    history();
    std::size_t next = 0;
    for (auto _ : state) {
        const double p = ps[next++ % ps.size()];
        if constexpr (Precomputed)
            redraw(image, roots, p);
        else
            recompute(image, p);
        benchmark::DoNotOptimize(image.constBits());
    }
}

std::string name(const char* variant, const std::string& at)
{
    return std::string("redraw/") + variant + "/" + at;
}

std::string atP(double p)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "p%.4f", p);
    return buffer;
}

void registerAll()
{
    const std::vector<double> jumps(std::begin(Jumps), std::end(Jumps));
    std::vector<std::pair<std::string, std::vector<double>>> cases{{"jumps", jumps}};
    for (const double p : Fixed)
        cases.push_back({atP(p), {p}});
    for (const auto& [at, ps] : cases) {
        benchmark::RegisterBenchmark(name("history", at).c_str(), cycle<true>, ps)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(MinTime)
            ->Repetitions(Repetitions);
        benchmark::RegisterBenchmark(name("scratch", at).c_str(), cycle<false>, ps)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(MinTime)
            ->Repetitions(Repetitions);
    }
    benchmark::RegisterBenchmark("history/build/L600",
                                 [](benchmark::State& state) {
                                     for (auto _ : state)
                                         benchmark::DoNotOptimize(
                                             stats::OccupationHistory(L, Seed).clusters(0));
                                 })
        ->Unit(benchmark::kMillisecond)
        ->MinTime(MinTime)
        ->Repetitions(Repetitions);
}

// The usual console lines, then the medians side by side against the budget.
class TableReporter : public MedianReporter
{
public:
    void Finalize() override
    {
        MedianReporter::Finalize();
        std::FILE* out = stdout;
        std::fflush(out);
        std::fprintf(out, "\nMedians of %d repetitions, processor time per redraw, L = %d\n\n",
                     Repetitions, L);
        std::fprintf(out, "%-10s %12s %12s %9s  budget %.0f ms\n", "p", "history", "scratch",
                     "speed-up", BudgetMs);
        std::vector<std::string> cases{"jumps"};
        for (const double p : Fixed)
            cases.push_back(atP(p));
        for (const std::string& at : cases) {
            const double* fast = find(name("history", at));
            const double* slow = find(name("scratch", at));
            if (fast == nullptr || slow == nullptr)
                continue;
            std::fprintf(out, "%-10s %9.2f ms %9.2f ms %8.1fx  %s\n", at.c_str(), *fast, *slow,
                         *slow / *fast, *fast <= BudgetMs ? "met" : "MISSED");
        }
        if (const double* build = find("history/build/L600"))
            std::fprintf(out, "\nBuilding the history once per lattice: %.1f ms\n", *build);
        std::fflush(out);
    }

protected:
    double timeOf(const Run& run) const override { return run.GetAdjustedCPUTime(); }
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
