// Every lattice and model against exhaustive enumeration: on lattices small enough to list every
// configuration, the sweep's event probabilities, S_max, χ·N and cluster counts (and their
// squares) at every occupation number, and the snapshots' values and clusters per size bin,
// agree with exact averages over the configurations, worked out here by breadth-first labelling
// with unwrapped positions, independently of the union–find.

#include "stats/canonical.h"
#include "stats/clustersizes.h"
#include "stats/runner.h"
#include "stats/snapshotrecorder.h"
#include "stats/sweep.h"
#include "stats/totalsfile.h"

#include <QTest>

#include <array>
#include <bit>
#include <cmath>
#include <sstream>
#include <vector>

using namespace stats;

Q_DECLARE_METATYPE(stats::Geometry)

namespace {

// Coordinates or steps, indexed by int as the loops over dimensions count.
struct Point
{
    int v[3] = {};
    int& operator[](int d) { return v[d]; }
    int operator[](int d) const { return v[d]; }
    friend bool operator!=(const Point&, const Point&) = default;
};

// The lattice as a list of edges, each once, from the shapes' definitions: from every site the
// steps forward, (1, 0) and (0, 1) on every lattice, but (0, 1) only from even x + y on the
// honeycomb, also (1, −1) on the triangular lattice and (0, 0, 1) in space; dropped where they
// leave an open lattice, wrapped on a torus.
struct Graph
{
    int sites = 0;
    std::vector<Point> at; // coordinates per site
    struct Edge
    {
        int a, b;
        Point step; // from a to b, unwrapped
    };
    std::vector<Edge> edges;
};

Graph graphOf(const Geometry& g)
{
    const int L = g.L, D = g.dimensions();
    Graph graph;
    graph.sites = int(g.sites());
    for (int i = 0; i < graph.sites; ++i)
        graph.at.push_back({{i % L, i / L % L, D == 3 ? i / (L * L) : 0}});
    std::vector<Point> forward = {{{1, 0, 0}}, {{0, 1, 0}}};
    if (g.lattice == Lattice::Triangular)
        forward.push_back({{1, -1, 0}});
    if (g.lattice == Lattice::Cubic)
        forward.push_back({{0, 0, 1}});
    for (int a = 0; a < graph.sites; ++a)
        for (const Point& step : forward) {
            const Point& p = graph.at[std::size_t(a)];
            if (g.lattice == Lattice::Honeycomb && step[1] == 1 && (p[0] + p[1]) % 2 != 0)
                continue;
            Point q;
            bool inside = true;
            for (int d = 0; d < 3; ++d) {
                q[d] = p[d] + step[d];
                inside = inside && q[d] >= 0 && q[d] < (d < D ? L : 1);
                q[d] = (q[d] + L) % (d < D ? L : 1);
            }
            if (inside || g.boundary == Boundary::Torus)
                graph.edges.push_back({a, q[0] + L * (q[1] + L * q[2]), step});
        }
    return graph;
}

// Per n, sums over all configurations with n occupied elements of: 1; each event; S_max, χ·N
// and the cluster count to the first, second and fourth power; and per size bin the number of
// clusters and its square.
constexpr std::size_t Values = 1 + MaxEventCount + 9;
struct Exact
{
    std::vector<std::array<double, Values>> sums;
    std::vector<std::vector<std::array<double, 2>>> bins; // [n][bin]: Σ count, Σ count²
};

// Labels the clusters of each configuration by breadth-first search, every site with its
// position in the unwrapped plane or space: on the torus, reaching a site of the cluster again
// at another position reveals a loop around the torus in each dimension where they differ.
// With open faces a cluster spans a dimension when it holds both of its extreme coordinates.
Exact enumerate(const Geometry& g)
{
    const Graph graph = graphOf(g);
    const int N = graph.sites, D = g.dimensions(), L = g.L;
    const bool bonds = g.model == Model::Bond;
    const int elements = bonds ? int(graph.edges.size()) : N;
    const int bins = binsUpTo(N);
    Exact e;
    e.sums.resize(std::size_t(elements + 1));
    e.bins.assign(std::size_t(elements + 1),
                  std::vector<std::array<double, 2>>(std::size_t(bins)));
    struct Link
    {
        int edge, other, sign;
    };
    std::vector<std::vector<Link>> links(static_cast<std::size_t>(N));
    for (int k = 0; k < int(graph.edges.size()); ++k) {
        const auto& edge = graph.edges[std::size_t(k)];
        links[std::size_t(edge.a)].push_back({k, edge.b, 1});
        links[std::size_t(edge.b)].push_back({k, edge.a, -1});
    }
    std::vector<int> label(static_cast<std::size_t>(N)), queue(label), counts(label);
    counts.resize(static_cast<std::size_t>(bins));
    std::vector<Point> position(label.size());
    for (std::uint32_t config = 0; config < (1u << elements); ++config) {
        auto occupied = [&](int site) { return bonds || (config >> site & 1); };
        auto open = [&](int edge) { return !bonds || (config >> edge & 1); };
        std::fill(label.begin(), label.end(), -1);
        std::fill(counts.begin(), counts.end(), 0);
        bool spans[3] = {};
        double largest = 0, squares = 0, clusters = 0;
        for (int s = 0; s < N; ++s) {
            if (!occupied(s) || label[std::size_t(s)] >= 0)
                continue;
            int queued = 1;
            queue[0] = s, label[std::size_t(s)] = s, position[std::size_t(s)] = {};
            bool wraps[3] = {}, low[3] = {}, high[3] = {};
            for (int q = 0; q < queued; ++q) {
                const int a = queue[std::size_t(q)];
                for (int d = 0; d < D; ++d) {
                    low[d] = low[d] || graph.at[std::size_t(a)][d] == 0;
                    high[d] = high[d] || graph.at[std::size_t(a)][d] == L - 1;
                }
                for (const Link& link : links[std::size_t(a)]) {
                    if (!open(link.edge) || !occupied(link.other))
                        continue;
                    Point expected;
                    for (int d = 0; d < 3; ++d)
                        expected[d] = position[std::size_t(a)][d] +
                                      link.sign * graph.edges[std::size_t(link.edge)].step[d];
                    const auto b = std::size_t(link.other);
                    if (label[b] < 0) {
                        label[b] = s, position[b] = expected;
                        queue[std::size_t(queued++)] = link.other;
                    }
                    for (int d = 0; d < D; ++d)
                        wraps[d] = wraps[d] || position[b][d] != expected[d];
                }
            }
            for (int d = 0; d < D; ++d)
                spans[d] =
                    spans[d] || (g.boundary == Boundary::Torus ? wraps[d] : low[d] && high[d]);
            largest = std::max(largest, double(queued)), squares += queued * queued, ++clusters;
            ++counts[std::size_t(sizeBin(queued))];
        }
        const int n = std::popcount(config);
        auto& sums = e.sums[std::size_t(n)];
        sums[0] += 1;
        bool any = false, all = true;
        for (int k = 0; k < D; ++k) {
            const bool event = spans[D - 1 - k];
            sums[std::size_t(1 + k)] += event, any = any || event, all = all && event;
        }
        sums[std::size_t(1 + D)] += any, sums[std::size_t(2 + D)] += all;
        const double observed[] = {largest, squares - largest * largest, clusters};
        for (std::size_t k = 0; k < 3; ++k) {
            const double square = observed[k] * observed[k];
            sums[1 + MaxEventCount + 3 * k] += observed[k];
            sums[2 + MaxEventCount + 3 * k] += square;
            sums[3 + MaxEventCount + 3 * k] += square * square;
        }
        for (std::size_t b = 0; b < counts.size(); ++b)
            e.bins[std::size_t(n)][b][0] += counts[b],
                e.bins[std::size_t(n)][b][1] += counts[b] * counts[b];
    }
    return e;
}

std::string bytesOf(const Totals& totals)
{
    std::stringstream file;
    writeTotals(file, {totals});
    std::string bytes = file.str();
    for (const SampleEvents& s : totals.events) // the file keeps the plane's events only
        bytes.append(reinterpret_cast<const char*>(s.firstN.data()), sizeof s.firstN);
    return bytes;
}

} // namespace

class LatticesTest : public QObject
{
    Q_OBJECT

private slots:
    // The smallest sizes where listing every configuration is cheap (2^18 at most), with the
    // torus at L = 1 and 2, where sites are their own or each other's neighbours, and a lone
    // open site of the bond model, which spans before anything is added.
    void matchesEnumeration_data()
    {
        QTest::addColumn<Geometry>("geometry");
        const auto open = Boundary::Open, torus = Boundary::Torus;
        const auto site = Model::Site, bond = Model::Bond;
        const struct
        {
            Lattice lattice;
            Model model;
            int L;
            Boundary boundary;
        } rows[] = {
            {Lattice::Square, site, 1, torus},     {Lattice::Square, site, 3, open},
            {Lattice::Square, site, 4, open},      {Lattice::Square, site, 3, torus},
            {Lattice::Square, site, 4, torus},     {Lattice::Square, bond, 1, open},
            {Lattice::Square, bond, 3, open},      {Lattice::Square, bond, 1, torus},
            {Lattice::Square, bond, 3, torus},     {Lattice::Triangular, site, 4, open},
            {Lattice::Triangular, site, 3, torus}, {Lattice::Triangular, site, 4, torus},
            {Lattice::Triangular, bond, 3, open},  {Lattice::Triangular, bond, 2, torus},
            {Lattice::Honeycomb, site, 3, open},   {Lattice::Honeycomb, site, 4, open},
            {Lattice::Honeycomb, site, 2, torus},  {Lattice::Honeycomb, site, 4, torus},
            {Lattice::Honeycomb, bond, 4, open},   {Lattice::Honeycomb, bond, 2, torus},
            {Lattice::Cubic, site, 2, open},       {Lattice::Cubic, site, 2, torus},
            {Lattice::Cubic, bond, 2, open},       {Lattice::Cubic, bond, 1, torus},
        };
        for (const auto& r : rows)
            QTest::addRow("%s %s %s %d", latticeName(r.lattice), modelName(r.model),
                          boundaryName(r.boundary), r.L)
                << Geometry{r.lattice, r.model, r.L, r.boundary};
    }

    // At every n: the fraction of samples showing each event, and the means of S_max, χ·N, the
    // cluster count and their squares (which feed the standard errors), each within 5 standard
    // errors of its exact value; exactly where the variance is 0. Each sample also stops at two
    // n for a snapshot, whose values and clusters per size bin must match as well, whose bins
    // add up to its cluster count, and which leaves the totals as a run without snapshots does.
    void matchesEnumeration()
    {
        QFETCH(Geometry, geometry);
        const Exact exact = enumerate(geometry);
        QCOMPARE(std::int64_t(exact.sums.size()), geometry.elements() + 1);
        const std::uint64_t S = 12000, seed = 12345;
        const auto E = std::uint64_t(geometry.elements());
        Totals t(geometry, seed);
        Sweep sweep(geometry);
        std::vector<Snapshot> snapshots(2);
        // Per n: snapshots, Σ S_max, Σ S_max², Σ χ·N, Σ clusters; per bin Σ count.
        std::vector<std::array<double, 5>> at(E + 1);
        std::vector<std::vector<double>> binned(E + 1, std::vector<double>(exact.bins[0].size()));
        for (std::uint64_t k = 0; k < S; ++k) {
            const std::uint64_t a = k % (E + 1), b = (k * 7 + 3) % (E + 1);
            snapshots[0].n = std::int64_t(std::min(a, b)),
            snapshots[1].n = std::int64_t(std::max(a, b));
            sweep.run(seed, k, t, snapshots);
            for (const Snapshot& s : snapshots) {
                const auto n = std::size_t(s.n);
                std::uint64_t clusters = 0;
                for (std::size_t bin = 0; bin < s.sizeCounts.size(); ++bin)
                    binned[n][bin] += double(s.sizeCounts[bin]), clusters += s.sizeCounts[bin];
                QCOMPARE(clusters, std::uint64_t(s.clusters));
                const double largest = s.largest;
                at[n][0] += 1, at[n][1] += largest, at[n][2] += largest * largest;
                at[n][3] += double(s.squares) - largest * largest, at[n][4] += s.clusters;
            }
        }
        sweep.flush(t);
        QVERIFY(bytesOf(t) == bytesOf(runSamples({geometry.L, geometry.boundary, seed, 0, S,
                                                  geometry.lattice, geometry.model},
                                                 2)));

        auto within = [&](double mean, double expected, double variance, double samples) {
            return std::abs(mean - expected) <= 5 * std::sqrt(variance / samples) + 1e-9;
        };
        const auto samples = double(S);
        for (std::size_t n = 0; n <= E; ++n) {
            const auto& e = exact.sums[n];
            for (int k = 0; k < geometry.eventCount(); ++k) {
                double shown = 0;
                for (const SampleEvents& s : t.events)
                    shown += s.firstN[std::size_t(k)] <= std::int64_t(n);
                const double f = e[std::size_t(1 + k)] / e[0];
                QVERIFY2(within(shown / samples, f, f * (1 - f), samples),
                         qPrintable(QString("event %1, n = %2: %3").arg(k).arg(n).arg(f)));
            }
            auto moments = [&](std::size_t v) {
                const std::size_t i = 1 + MaxEventCount + 3 * v;
                return std::array<double, 3>{e[i] / e[0], e[i + 1] / e[0], e[i + 2] / e[0]};
            };
            const double sums[] = {double(t.sumLargest[n]),  double(t.sumLargestSquared[n]),
                                   double(t.sumChi[n]),      double(t.sumChiSquared[n]),
                                   double(t.sumClusters[n]), double(t.sumClustersSquared[n])};
            for (std::size_t k = 0; k < 6; ++k) {
                const auto [first, second, fourth] = moments(k / 2);
                const double mean = k % 2 ? second : first;
                const double variance = k % 2 ? fourth - second * second : second - first * first;
                QVERIFY2(within(sums[k] / samples, mean, variance, samples),
                         qPrintable(QString("sum %1, n = %2: %3").arg(k).arg(n).arg(mean)));
            }
            // The snapshots taken at n.
            const double m = at[n][0];
            QVERIFY(m > 100);
            const double largest[] = {at[n][1], at[n][3], at[n][4]};
            for (std::size_t v = 0; v < 3; ++v) {
                const auto [first, second, fourth] = moments(v);
                QVERIFY2(within(largest[v] / m, first, second - first * first, m),
                         qPrintable(QString("snapshot %1, n = %2: %3").arg(v).arg(n).arg(first)));
            }
            for (std::size_t bin = 0; bin < binned[n].size(); ++bin) {
                const double mean = exact.bins[n][bin][0] / e[0];
                const double variance = exact.bins[n][bin][1] / e[0] - mean * mean;
                QVERIFY2(within(binned[n][bin] / m, mean, variance, m),
                         qPrintable(QString("bin %1, n = %2: %3").arg(bin).arg(n).arg(mean)));
            }
        }
    }

    void canonicalSnapshotsMatchEnumeration_data()
    {
        QTest::addColumn<Geometry>("geometry");
        QTest::addColumn<double>("p");
        QTest::newRow("square site torus 4, pc")
            << Geometry{Lattice::Square, Model::Site, 4, Boundary::Torus} << 0.59274605079;
        QTest::newRow("triangular bond open 3, 0.2")
            << Geometry{Lattice::Triangular, Model::Bond, 3, Boundary::Open} << 0.2;
        QTest::newRow("cubic site open 2, pc")
            << Geometry{Lattice::Cubic, Model::Site, 2, Boundary::Open} << 0.3116077;
    }

    // Snapshots at p are exact samples of the canonical ensemble: each sample's n follows
    // Binomial(E, p) (its count at every n within 5 standard errors), and S_max, S_max², the
    // clusters per size bin and, on the window of χ, χ·N at each n, averaged over the samples,
    // agree within 5 standard errors with the binomial mixture of the exact averages.
    void canonicalSnapshotsMatchEnumeration()
    {
        QFETCH(Geometry, geometry);
        QFETCH(double, p);
        const Exact exact = enumerate(geometry);
        const std::uint64_t S = 6000, seed = 77;
        const Totals t = runSamples(
            {geometry.L, geometry.boundary, seed, 0, S, geometry.lattice, geometry.model}, 2,
            nullptr, {}, {p});
        const auto E = std::size_t(geometry.elements());
        const BinomialWindow w = binomialWindow(std::int64_t(E), p);
        std::vector<double> weight(E + 1, 0.0);
        for (std::size_t k = 0; k < w.weights.size(); ++k)
            weight[std::size_t(w.first) + k] = w.weights[k];

        const SnapshotRecorder recorder(t);
        std::vector<double> drawn(E + 1, 0.0);
        for (std::uint64_t k = 0; k < S; ++k)
            drawn[std::size_t(recorder.occupations(seed, k).front())] += 1;
        auto within = [](double mean, double expected, double variance, double samples) {
            return std::abs(mean - expected) <= 5 * std::sqrt(variance / samples) + 1e-9;
        };
        const auto samples = double(S);
        for (std::size_t n = 0; n <= E; ++n)
            QVERIFY2(within(drawn[n] / samples, weight[n], weight[n] * (1 - weight[n]), samples),
                     qPrintable(QString("n = %1").arg(n)));

        // Canonical moments: Σ_n B_n · (exact sum at n / configurations at n).
        auto canonical = [&](auto value) {
            double sum = 0;
            for (std::size_t n = 0; n <= E; ++n)
                sum += weight[n] * value(n) / exact.sums[n][0];
            return sum;
        };
        const std::size_t largest = 1 + MaxEventCount;
        const double mean = canonical([&](std::size_t n) { return exact.sums[n][largest]; });
        const double second = canonical([&](std::size_t n) { return exact.sums[n][largest + 1]; });
        const double fourth = canonical([&](std::size_t n) { return exact.sums[n][largest + 2]; });
        SnapshotSums all;
        all.sizeCounts.assign(exact.bins[0].size(), 0);
        for (const SnapshotSums& g : t.snapshots.points.front().groups) {
            all.samples += g.samples, all.largest += g.largest;
            all.largestSquared += g.largestSquared;
            for (std::size_t b = 0; b < g.sizeCounts.size(); ++b)
                all.sizeCounts[b] += g.sizeCounts[b];
        }
        QCOMPARE(all.samples, S);
        QVERIFY(within(double(all.largest) / samples, mean, second - mean * mean, samples));
        QVERIFY(within(double(all.largestSquared) / samples, second, fourth - second * second,
                       samples));
        for (std::size_t b = 0; b < all.sizeCounts.size(); ++b) {
            const double m = canonical([&](std::size_t n) { return exact.bins[n][b][0]; });
            const double m2 = canonical([&](std::size_t n) { return exact.bins[n][b][1]; });
            QVERIFY2(within(double(all.sizeCounts[b]) / samples, m, m2 - m * m, samples),
                     qPrintable(QString("bin %1: %2").arg(b).arg(m)));
        }
        // The window of χ, present at the known threshold: χ·N of every sample at each n.
        const Snapshots& s = t.snapshots;
        QCOMPARE(s.chi.empty(), geometry.lattice == Lattice::Triangular);
        for (std::size_t k = 0; k < s.chiLength(); ++k) {
            const std::size_t n = std::size_t(s.chiFirst) + k;
            double sum = 0;
            for (const std::vector<UInt128>& group : s.chi)
                sum += double(group[k]);
            const std::size_t chi = 1 + MaxEventCount + 3;
            const double m = exact.sums[n][chi] / exact.sums[n][0];
            const double m2 = exact.sums[n][chi + 1] / exact.sums[n][0];
            QVERIFY2(within(sum / samples, m, m2 - m * m, samples),
                     qPrintable(QString("chi at n = %1: %2").arg(n).arg(m)));
        }
    }
};

QTEST_APPLESS_MAIN(LatticesTest)
#include "tst_lattices.moc"
