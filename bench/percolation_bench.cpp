// Times each step of a command cycle (realisation, cluster pass, picture) and the whole cycle,
// for the program and for the straightforward baseline side by side, so that every speed-up is
// a ratio of two medians from one run. Also times a click on "New realisation" up to the
// repainted widget. Runs on Qt's offscreen platform; ends with a table of medians.

#include "model/clusters.h"
#include "model/lattice.h"
#include "model/random.h"
#include "straightforward.h"
#include "straightforwardpicture.h"
#include "view/latticepicture.h"
#include "view/percolation.h"

#include "medianreporter.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QPixmap>
#include <QWindow>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Case
{
    int L;
    double p;
};

constexpr std::array<Case, 4> Cases{{{600, 0.5}, {600, 0.5927}, {300, 0.5927}, {150, 0.5927}}};

// Fifteen repetitions of at least 50 ms each: the medians of a run of about a minute.
constexpr int Repetitions = 15;
constexpr double MinTime = 0.05;
constexpr double CycleTarget = 50;

std::string caseName(const char* step, const char* variant, Case c)
{
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s/%s/L%d/p%g", step, variant, c.L, c.p);
    return buffer;
}

using Array = std::vector<int>;

Array makeArray()
{
    return Array(static_cast<std::size_t>(model::SiteCapacity), 0);
}

// A realisation to feed the cluster pass and the picture, made by the baseline.
struct Realisation
{
    Array site = makeArray();
    Array occupied = makeArray();
    Array largest = makeArray();
    // The sites as bits, as the program's realisation writes them beside site[].
    std::unique_ptr<model::SiteBits> bits = std::make_unique<model::SiteBits>();
    int nOccupied = 0;
    int largestSize = 0;
};

// Several realisations per case, cycled through, so that a step is not timed on one lattice
// whose largest cluster happens to be unusually small or large.
constexpr std::size_t Samples = 8;

const std::vector<Realisation>& samples(Case c)
{
    static std::map<std::pair<int, double>, std::vector<Realisation>> cache;
    auto& realisations = cache[{c.L, c.p}];
    if (realisations.empty()) {
        straightforward::Generator generator;
        realisations.resize(Samples);
        for (auto& r : realisations) {
            r.nOccupied = straightforward::occupySites(generator, c.p, r.site.data(),
                                                       r.occupied.data(), c.L);
            r.largestSize = straightforward::findLargestCluster(
                r.site.data(), r.occupied.data(), r.largest.data(), r.nOccupied, c.L);
            model::packSites(r.site.data(), c.L, *r.bits);
        }
    }
    return realisations;
}

void realiseProgram(benchmark::State& state, Case c)
{
    Array site = makeArray(), occupied = makeArray();
    model::SiteBits bits;
    for (auto _ : state) {
        benchmark::DoNotOptimize(model::occupySites(c.p, site.data(), occupied.data(), c.L, bits));
        benchmark::ClobberMemory();
    }
}

void realiseBaseline(benchmark::State& state, Case c)
{
    straightforward::Generator generator;
    Array site = makeArray(), occupied = makeArray();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            straightforward::occupySites(generator, c.p, site.data(), occupied.data(), c.L));
        benchmark::ClobberMemory();
    }
}

void clustersProgram(benchmark::State& state, Case c)
{
    const auto& realisations = samples(c);
    model::ClusterWorkspace workspace;
    Array largest = makeArray();
    std::size_t next = 0;
    for (auto _ : state) {
        const auto& r = realisations[next++ % Samples];
        benchmark::DoNotOptimize(
            model::findLargestCluster(*r.bits, largest.data(), r.nOccupied, c.L, workspace));
        benchmark::ClobberMemory();
    }
}

void clustersBaseline(benchmark::State& state, Case c)
{
    const auto& realisations = samples(c);
    Array largest = makeArray();
    std::size_t next = 0;
    for (auto _ : state) {
        const auto& r = realisations[next++ % Samples];
        benchmark::DoNotOptimize(straightforward::findLargestCluster(
            r.site.data(), r.occupied.data(), largest.data(), r.nOccupied, c.L));
        benchmark::ClobberMemory();
    }
}

void pictureProgram(benchmark::State& state, Case c)
{
    const auto& realisations = samples(c);
    QImage image = lattice_picture::makeImage();
    std::size_t next = 0;
    for (auto _ : state) {
        const auto& r = realisations[next++ % Samples];
        lattice_picture::compose(image, c.L, false, *r.bits, r.largest.data(), r.largestSize);
        benchmark::DoNotOptimize(image.constBits());
        benchmark::ClobberMemory();
    }
}

void pictureBaseline(benchmark::State& state, Case c)
{
    const auto& realisations = samples(c);
    std::size_t next = 0;
    for (auto _ : state) {
        const auto& r = realisations[next++ % Samples];
        QPixmap pixmap = straightforward::drawPicture(c.L, false, r.occupied.data(), r.nOccupied,
                                                      r.largest.data(), r.largestSize);
        benchmark::DoNotOptimize(pixmap);
    }
}

// The program's widgets: one hidden, whose cycle is timed with an explicit composition, and one
// shown, whose repaint() really paints.
std::unique_ptr<Percolation> hiddenWidget;
std::unique_ptr<Percolation> shownWidget;

// Counts the paint events of the shown widget, to prove that a timed click really repainted.
class PaintCounter : public QObject
{
public:
    long long paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

PaintCounter paintCounter;

// Sets p and L the way the user would: type p, then press the size button once.
void prepare(Percolation& widget, Case c)
{
    widget.pChanged(c.p);
    switch (c.L) {
    case 150:
        widget.startL150();
        break;
    case 300:
        widget.startL300();
        break;
    default:
        widget.startL600();
        break;
    }
}

void cycleProgram(benchmark::State& state, Case c)
{
    Percolation& widget = *hiddenWidget;
    prepare(widget, c);
    for (auto _ : state) {
        widget.startNew();
        benchmark::DoNotOptimize(widget.composePicture().constBits());
        benchmark::ClobberMemory();
    }
}

void cycleBaseline(benchmark::State& state, Case c)
{
    straightforward::Generator generator;
    Realisation r;
    for (auto _ : state) {
        r.nOccupied =
            straightforward::occupySites(generator, c.p, r.site.data(), r.occupied.data(), c.L);
        r.largestSize = straightforward::findLargestCluster(r.site.data(), r.occupied.data(),
                                                            r.largest.data(), r.nOccupied, c.L);
        QPixmap pixmap = straightforward::drawPicture(c.L, false, r.occupied.data(), r.nOccupied,
                                                      r.largest.data(), r.largestSize);
        benchmark::DoNotOptimize(pixmap);
    }
}

void clickProgram(benchmark::State& state, Case c)
{
    Percolation& widget = *shownWidget;
    prepare(widget, c);
    const long long before = paintCounter.paints;
    long long clicks = 0;
    for (auto _ : state) {
        widget.startNew();
        ++clicks;
    }
    if (paintCounter.paints - before < clicks)
        state.SkipWithError("a click did not repaint the widget");
}

void registerAll()
{
    using Step = void (*)(benchmark::State&, Case);
    struct Entry
    {
        const char* step;
        const char* variant;
        Step run;
    };
    const Entry entries[] = {
        {"realise", "program", realiseProgram},   {"realise", "baseline", realiseBaseline},
        {"clusters", "program", clustersProgram}, {"clusters", "baseline", clustersBaseline},
        {"picture", "program", pictureProgram},   {"picture", "baseline", pictureBaseline},
        {"cycle", "program", cycleProgram},       {"cycle", "baseline", cycleBaseline},
        {"click", "program", clickProgram},
    };
    for (const Case c : Cases) {
        for (const Entry& entry : entries) {
            benchmark::RegisterBenchmark(caseName(entry.step, entry.variant, c).c_str(), entry.run,
                                         c)
                ->Unit(benchmark::kMicrosecond)
                ->MinTime(MinTime)
                ->Repetitions(Repetitions);
        }
    }
}

// Prints the usual console lines, then a table of medians with the program-to-baseline ratio.
class TableReporter : public MedianReporter
{
public:
    void Finalize() override
    {
        MedianReporter::Finalize();
        std::FILE* out = stdout;
        std::fflush(out);
        std::fprintf(out, "\nMedians of %d repetitions, wall-clock time per call\n\n",
                     Repetitions);
        std::fprintf(out, "%-9s %5s %7s %12s %12s %9s\n", "step", "L", "p", "program", "baseline",
                     "speed-up");
        for (const Case c : Cases) {
            for (const char* step : {"realise", "clusters", "picture", "cycle", "click"}) {
                const double* program = find(caseName(step, "program", c));
                const double* baseline = find(caseName(step, "baseline", c));
                if (program == nullptr)
                    continue;
                std::fprintf(out, "%-9s %5d %7g %9.1f us", step, c.L, c.p, *program);
                if (baseline != nullptr)
                    std::fprintf(out, " %9.1f us %8.1fx\n", *baseline, *baseline / *program);
                else
                    std::fprintf(out, " %12s %9s\n", "-", "-");
            }
        }
        std::fprintf(out, "\nTarget at L = 600: the cycle at least %gx the baseline's\n",
                     CycleTarget);
        for (const double p : {0.5, 0.5927}) {
            const double* program = find(caseName("cycle", "program", {600, p}));
            const double* baseline = find(caseName("cycle", "baseline", {600, p}));
            if (program == nullptr || baseline == nullptr)
                continue;
            const double ratio = *baseline / *program;
            std::fprintf(out, "  p = %-7g %8.1f us  %5.1fx  %s\n", p, *program, ratio,
                         ratio >= CycleTarget ? "met" : "MISSED");
        }
        std::fflush(out);
    }
};

} // namespace

int main(int argc, char** argv)
{
    // The offscreen platform, so that the benchmarks run without a display and QPainter draws
    // on the raster engine, as it does on screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    hiddenWidget = std::make_unique<Percolation>();
    shownWidget = std::make_unique<Percolation>();
    shownWidget->resize(lattice_picture::Side, lattice_picture::Side);
    shownWidget->installEventFilter(&paintCounter);
    shownWidget->show();
    for (int i = 0; i < 1000 && !(shownWidget->windowHandle() != nullptr &&
                                  shownWidget->windowHandle()->isExposed());
         ++i)
        QApplication::processEvents();
    QApplication::processEvents();

    registerAll();
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    shownWidget.reset();
    hiddenWidget.reset();
    return 0;
}
