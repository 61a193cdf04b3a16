// The statistics engine: microcanonical values against exhaustive enumeration of small
// lattices, the canonical transform against exact polynomials, bit-identical totals however the
// samples are split, the accumulator file's round trip and refusals, and threshold estimates.

#include "stats/canonical.h"
#include "stats/runner.h"
#include "stats/threshold.h"
#include "stats/totalsfile.h"

#include <QTest>

#include <cmath>
#include <sstream>
#include <vector>

using namespace stats;

namespace {

// Sums over all configurations with n occupied sites, indexed by n.
struct Enumeration
{
    std::vector<double> configs;
    std::vector<std::array<double, EventCount>> events;
    // S_max, χ·N and the cluster count: sums of their first, second and fourth powers.
    std::vector<std::array<double, 9>> moments;
};

// Labels the clusters of one configuration by breadth-first search, each site with its position
// in the unwrapped plane; on the torus, meeting a site of the cluster again at another position
// reveals a loop around the torus. Events are decided per cluster.
Enumeration enumerate(int L, Boundary boundary)
{
    const int N = L * L;
    const auto entries = static_cast<std::size_t>(N + 1);
    Enumeration e{std::vector<double>(entries),
                  std::vector<std::array<double, EventCount>>(entries),
                  std::vector<std::array<double, 9>>(entries)};
    const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (std::uint32_t config = 0; config < (1u << N); ++config) {
        const auto n = static_cast<std::size_t>(std::popcount(config));
        int label[16], px[16], py[16], queue[16];
        std::fill(label, label + N, -1);
        bool vertical = false, horizontal = false, both = false;
        double largest = 0, squares = 0, clusters = 0;
        for (int s = 0; s < N; ++s) {
            if (!(config >> s & 1) || label[s] >= 0)
                continue;
            int queued = 1;
            queue[0] = s;
            label[s] = s;
            px[s] = s % L, py[s] = s / L;
            bool v = false, h = false, top = false, bottom = false, left = false, right = false;
            for (int q = 0; q < queued; ++q) {
                const int a = queue[q], x = a % L, y = a / L;
                top |= y == 0, bottom |= y == L - 1, left |= x == 0, right |= x == L - 1;
                for (const auto& st : steps) {
                    int nx = x + st[0], ny = y + st[1];
                    if (boundary == Boundary::Open && (nx < 0 || nx >= L || ny < 0 || ny >= L))
                        continue;
                    nx = (nx + L) % L, ny = (ny + L) % L;
                    const int b = ny * L + nx;
                    if (!(config >> b & 1))
                        continue;
                    if (label[b] < 0) {
                        label[b] = s, px[b] = px[a] + st[0], py[b] = py[a] + st[1];
                        queue[queued++] = b;
                    }
                    h |= px[b] != px[a] + st[0];
                    v |= py[b] != py[a] + st[1];
                }
            }
            if (boundary == Boundary::Open)
                v = top && bottom, h = left && right;
            vertical |= v, horizontal |= h, both |= v && h;
            const double size = queued;
            largest = std::max(largest, size), squares += size * size, clusters += 1;
        }
        e.configs[n] += 1;
        const bool happened[EventCount] = {vertical, horizontal, vertical || horizontal, both};
        for (std::size_t k = 0; k < EventCount; ++k)
            e.events[n][k] += happened[k];
        const double chi = squares - largest * largest;
        const double values[3] = {largest, chi, clusters};
        for (std::size_t k = 0; k < 3; ++k) {
            const double square = values[k] * values[k];
            e.moments[n][3 * k] += values[k];
            e.moments[n][3 * k + 1] += square;
            e.moments[n][3 * k + 2] += square * square;
        }
    }
    return e;
}

// |mean − exact| within 5 standard errors of a mean of `samples` draws of variance `variance`;
// where the variance is zero the mean must be exact.
bool within(double mean, double exact, double variance, double samples)
{
    return std::abs(mean - exact) <= 5 * std::sqrt(variance / samples) + 1e-9;
}

// One sample whose every value is set by hand, to feed the canonical transform known Q_n.
Totals handMade(int L, std::int32_t firstN)
{
    Totals t(L, Boundary::Open, 1);
    for (std::size_t n = 0; n < t.sumLargest.size(); ++n)
        t.sumLargest[n] = n;
    t.events.push_back({0, {firstN, firstN, firstN, firstN}});
    return t;
}

// P(X ≥ k) for X ~ Binomial(N, p), summed directly in long double.
double binomialTail(int N, double p, int k)
{
    if (p == 0 || p == 1)
        return p == 1 || k <= 0 ? 1 : 0;
    long double tail = 0;
    for (int n = k; n <= N; ++n)
        tail += std::exp(std::lgamma(N + 1.0L) - std::lgamma(n + 1.0L) -
                         std::lgamma(N - n + 1.0L) + n * std::log(static_cast<long double>(p)) +
                         (N - n) * std::log1p(-static_cast<long double>(p)));
    return static_cast<double>(tail);
}

bool identical(const Totals& a, const Totals& b)
{
    auto sameEvents = [](const SampleEvents& x, const SampleEvents& y) {
        return x.sample == y.sample && x.firstN == y.firstN;
    };
    return a.L == b.L && a.boundary == b.boundary && a.seed == b.seed &&
           a.sumLargest == b.sumLargest && a.sumLargestSquared == b.sumLargestSquared &&
           a.sumChi == b.sumChi && a.sumChiSquared == b.sumChiSquared &&
           a.sumClusters == b.sumClusters && a.sumClustersSquared == b.sumClustersSquared &&
           std::equal(a.events.begin(), a.events.end(), b.events.begin(), b.events.end(),
                      sameEvents);
}

} // namespace

class StatsTest : public QObject
{
    Q_OBJECT

private slots:
    void microcanonicalValuesMatchEnumeration_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<Boundary>("boundary");
        QTest::newRow("open 3") << 3 << Boundary::Open;
        QTest::newRow("open 4") << 4 << Boundary::Open;
        QTest::newRow("torus 3") << 3 << Boundary::Torus;
        QTest::newRow("torus 4") << 4 << Boundary::Torus;
    }

    // The fraction of samples showing each event by n, and the per-n means of S_max, χ·N and the
    // cluster count, against their exact values over all 2^N configurations.
    void microcanonicalValuesMatchEnumeration()
    {
        QFETCH(int, L);
        QFETCH(Boundary, boundary);
        const Enumeration exact = enumerate(L, boundary);
        const std::uint64_t S = 20000;
        const Totals t = runSamples({L, boundary, 12345, 0, S}, 2);
        QCOMPARE(t.samples(), S);
        const double samples = static_cast<double>(S);
        for (std::size_t n = 0; n <= t.sumLargest.size() - 1; ++n) {
            const double configs = exact.configs[n];
            for (std::size_t k = 0; k < EventCount; ++k) {
                double shown = 0;
                for (const SampleEvents& s : t.events)
                    shown += static_cast<std::size_t>(s.firstN[k]) <= n;
                const double f = exact.events[n][k] / configs;
                QVERIFY2(within(shown / samples, f, f * (1 - f), samples),
                         qPrintable(QStringLiteral("event %1 at n = %2: %3 against %4")
                                        .arg(k)
                                        .arg(n)
                                        .arg(shown / samples)
                                        .arg(f)));
            }
            // Each observable and its square, whose sums feed the standard errors.
            const double sums[6] = {double(t.sumLargest[n]),  double(t.sumLargestSquared[n]),
                                    double(t.sumChi[n]),      double(t.sumChiSquared[n]),
                                    double(t.sumClusters[n]), double(t.sumClustersSquared[n])};
            for (std::size_t k = 0; k < 6; ++k) {
                const auto& m = exact.moments[n];
                const std::size_t v = 3 * (k / 2);
                const double first = m[v] / configs, second = m[v + 1] / configs;
                const double mean = k % 2 ? second : first;
                const double variance =
                    k % 2 ? m[v + 2] / configs - second * second : second - first * first;
                QVERIFY2(within(sums[k] / samples, mean, variance, samples),
                         qPrintable(QStringLiteral("sum %1 at n = %2: %3 against %4")
                                        .arg(k)
                                        .arg(n)
                                        .arg(sums[k] / samples)
                                        .arg(mean)));
            }
        }
    }

    void canonicalTransformIsExact_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<double>("p");
        QTest::addColumn<int>("k");
        QTest::newRow("empty") << 4 << 0.0 << 1;
        QTest::newRow("full") << 4 << 1.0 << 16;
        QTest::newRow("small lattice") << 4 << 0.37 << 7;
        QTest::newRow("far tail") << 4 << 0.05 << 12;
        QTest::newRow("large lattice") << 100 << 0.5927 << 5950;
        QTest::newRow("large lattice, low p") << 100 << 0.003 << 40;
    }

    // Q_n = n/N gives p, Q_n = [n ≥ k] the binomial tail; exactly so at p = 0 and p = 1.
    void canonicalTransformIsExact()
    {
        QFETCH(int, L);
        QFETCH(double, p);
        QFETCH(int, k);
        const Totals t = handMade(L, k);
        const CurvePoint point = canonicalCurves(t, {p}).front();
        const double tail = binomialTail(L * L, p, k);
        if (p == 0 || p == 1) {
            QCOMPARE(point.value[Strength], p);
            QCOMPARE(point.value[SpanVertical], tail);
        }
        QVERIFY(std::abs(point.value[Strength] - p) < 1e-13);
        QVERIFY2(
            std::abs(point.value[SpanVertical] - tail) < 1e-13,
            qPrintable(QStringLiteral("%1 against %2").arg(point.value[SpanVertical]).arg(tail)));
        QCOMPARE(eventProbability(t, Either, p).value, point.value[SpanEither]);
    }

    // The same samples give the same bits however they are split over threads, runs and files.
    void totalsAreBitIdentical()
    {
        const RunRange all{8, Boundary::Torus, 99, 10, 40};
        const Totals one = runSamples(all, 1);
        QVERIFY(identical(one, runSamples(all, 2)));
        Totals halves = runSamples({8, Boundary::Torus, 99, 30, 20}, 2);
        QCOMPARE(halves.add(runSamples({8, Boundary::Torus, 99, 10, 20}, 1)), std::string());
        QVERIFY(identical(one, halves));
        std::stringstream file;
        writeTotals(file, {one, runSamples({5, Boundary::Open, 3, 0, 7}, 1)});
        std::vector<Totals> back;
        std::string error;
        QVERIFY2(readTotals(file, back, error), error.c_str());
        QCOMPARE(back.size(), std::size_t{2});
        QVERIFY(identical(back[0], one));
        QCOMPARE(back[1].samples(), std::uint64_t{7});
    }

    void damagedFilesAreRefused_data()
    {
        QTest::addColumn<int>("offset"); // from the end when negative
        QTest::addColumn<int>("cut");
        QTest::newRow("header byte") << 0 << 0;
        QTest::newRow("version") << 8 << 0;
        QTest::newRow("lattice size") << 16 << 0;
        QTest::newRow("sample count") << 29 << 0;
        QTest::newRow("a sum") << 200 << 0;
        QTest::newRow("an event") << -12 << 0;
        QTest::newRow("checksum") << -1 << 0;
        QTest::newRow("truncated") << 0 << 9;
        QTest::newRow("truncated in a sum") << 0 << 1500;
    }

    void damagedFilesAreRefused()
    {
        QFETCH(int, offset);
        QFETCH(int, cut);
        std::stringstream file;
        writeTotals(file, {runSamples({4, Boundary::Open, 5, 0, 6}, 1)});
        std::string bytes = file.str();
        if (cut > 0)
            bytes = std::string(bytes.data(), bytes.size() - static_cast<std::size_t>(cut));
        else
            bytes[offset >= 0 ? static_cast<std::size_t>(offset)
                              : bytes.size() - static_cast<std::size_t>(-offset)] ^= 0x41;
        std::istringstream damaged(bytes);
        std::vector<Totals> back{Totals(2, Boundary::Open, 0)};
        std::string error;
        QVERIFY(!readTotals(damaged, back, error));
        QVERIFY(!error.empty() && error.find('\n') == std::string::npos);
        QCOMPARE(back.size(), std::size_t{1});
    }

    void mismatchedTotalsAreNotAdded_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<Boundary>("boundary");
        QTest::addColumn<int>("seed");
        QTest::addColumn<int>("first");
        QTest::newRow("size") << 5 << Boundary::Open << 1 << 10;
        QTest::newRow("boundary") << 4 << Boundary::Torus << 1 << 10;
        QTest::newRow("seed") << 4 << Boundary::Open << 2 << 10;
        QTest::newRow("a shared sample") << 4 << Boundary::Open << 1 << 4;
    }

    void mismatchedTotalsAreNotAdded()
    {
        QFETCH(int, L);
        QFETCH(Boundary, boundary);
        QFETCH(int, seed);
        QFETCH(int, first);
        Totals base = runSamples({4, Boundary::Open, 1, 0, 5}, 1);
        const Totals before = base;
        const Totals other = runSamples(
            {L, boundary, static_cast<std::uint64_t>(seed), static_cast<std::uint64_t>(first), 3},
            1);
        QVERIFY(!base.add(other).empty());
        QVERIFY(identical(base, before));
    }

    // Torus: the wrap-one estimate within 3 of its stated σ of pc = 0.5927460 (the finite-size
    // shift at L = 16 is about 1e-5, far below σ). Open: the crossing probability at pc within 4σ
    // of Cardy's 1/2 plus 0.01 for the finite size.
    void thresholdIsFound()
    {
        const double pc = 0.5927460;
        const Totals torus = runSamples({16, Boundary::Torus, 2024, 0, 4000}, 2);
        const ThresholdEstimate wrapOne = estimateThreshold(torus).front();
        QCOMPARE(wrapOne.estimator, std::string("wrap-one"));
        QVERIFY(wrapOne.error > 1e-4 && wrapOne.error < 3e-3);
        QVERIFY2(std::abs(wrapOne.estimate - pc) < 3 * wrapOne.error,
                 qPrintable(QStringLiteral("%1 ± %2").arg(wrapOne.estimate).arg(wrapOne.error)));
        const Totals open = runSamples({32, Boundary::Open, 2024, 0, 2000}, 2);
        const CurvePoint at = canonicalCurves(open, {pc}).front();
        const double crossing = (at.value[SpanVertical] + at.value[SpanHorizontal]) / 2;
        QVERIFY(at.error[SpanVertical] > 0.005 && at.error[SpanVertical] < 0.02);
        QVERIFY2(std::abs(crossing - 0.5) < 4 * at.error[SpanVertical] + 0.01,
                 qPrintable(QStringLiteral("%1 ± %2").arg(crossing).arg(at.error[SpanVertical])));
    }
};

QTEST_APPLESS_MAIN(StatsTest)
#include "tst_stats.moc"
