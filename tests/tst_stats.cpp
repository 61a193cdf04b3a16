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

Q_DECLARE_METATYPE(stats::RunRange)

namespace {

// Per n, sums over all configurations with n occupied sites of: 1; each event; S_max, χ·N and
// the cluster count to the first, second and fourth power.
using Enumeration = std::vector<std::array<double, 1 + EventCount + 9>>;

// Labels the clusters of each configuration by breadth-first search, every site with its
// position in the unwrapped plane: on the torus, meeting a site of the cluster again at another
// position reveals a loop around the torus. Events are decided per cluster.
Enumeration enumerate(int L, Boundary boundary)
{
    const int N = L * L;
    Enumeration e(static_cast<std::size_t>(N + 1));
    const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (std::uint32_t config = 0; config < (1u << N); ++config) {
        int label[16], px[16], py[16], queue[16];
        std::fill(label, label + N, -1);
        bool vertical = false, horizontal = false, both = false;
        double largest = 0, squares = 0, clusters = 0;
        for (int s = 0; s < N; ++s) {
            if (!(config >> s & 1) || label[s] >= 0)
                continue;
            int queued = 1;
            queue[0] = label[s] = s;
            px[s] = s % L, py[s] = s / L;
            bool v = false, h = false, top = false, bottom = false, left = false, right = false;
            for (int q = 0; q < queued; ++q) {
                const int a = queue[q], x = a % L, y = a / L;
                top |= y == 0, bottom |= y == L - 1, left |= x == 0, right |= x == L - 1;
                for (const auto& st : steps) {
                    const int nx = x + st[0], ny = y + st[1];
                    if (boundary == Boundary::Open && (nx < 0 || nx >= L || ny < 0 || ny >= L))
                        continue;
                    const int b = (ny + L) % L * L + (nx + L) % L;
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
            largest = std::max(largest, double(queued)), squares += queued * queued, ++clusters;
        }
        auto& sums = e[static_cast<std::size_t>(std::popcount(config))];
        const double values[] = {1, double(vertical), double(horizontal),
                                 double(vertical || horizontal), double(both)};
        for (std::size_t k = 0; k < 5; ++k)
            sums[k] += values[k];
        const double observed[] = {largest, squares - largest * largest, clusters};
        for (std::size_t k = 0; k < 3; ++k) {
            const double square = observed[k] * observed[k];
            sums[5 + 3 * k] += observed[k], sums[6 + 3 * k] += square;
            sums[7 + 3 * k] += square * square;
        }
    }
    return e;
}

// Every number a totals holds, as its accumulator file.
std::string bytesOf(const Totals& totals)
{
    std::stringstream file;
    writeTotals(file, {totals});
    return file.str();
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
        QTest::newRow("torus 1, its own neighbour") << 1 << Boundary::Torus;
        QTest::newRow("open 3") << 3 << Boundary::Open;
        QTest::newRow("open 4") << 4 << Boundary::Open;
        QTest::newRow("torus 3") << 3 << Boundary::Torus;
        QTest::newRow("torus 4") << 4 << Boundary::Torus;
    }

    // At every n: the fraction of samples showing each event, and the means of S_max, χ·N, the
    // cluster count and their squares (which feed the standard errors), each within 5 standard
    // errors of its exact value over all 2^N configurations; exactly where the variance is 0.
    void microcanonicalValuesMatchEnumeration()
    {
        QFETCH(int, L);
        QFETCH(Boundary, boundary);
        const Enumeration exact = enumerate(L, boundary);
        const Totals t = runSamples({L, boundary, 12345, 0, 20000}, 2);
        QCOMPARE(t.samples(), std::uint64_t{20000});
        const auto samples = static_cast<double>(t.samples());
        auto within = [&](double mean, double expected, double variance) {
            return std::abs(mean - expected) <= 5 * std::sqrt(variance / samples) + 1e-9;
        };
        for (std::size_t n = 0; n < exact.size(); ++n) {
            const auto& e = exact[n];
            for (std::size_t k = 0; k < EventCount; ++k) {
                double shown = 0;
                for (const SampleEvents& s : t.events)
                    shown += static_cast<std::size_t>(s.firstN[k]) <= n;
                const double f = e[1 + k] / e[0];
                QVERIFY2(within(shown / samples, f, f * (1 - f)),
                         qPrintable(QString("event %1, n = %2: %3").arg(k).arg(n).arg(f)));
            }
            const double sums[] = {double(t.sumLargest[n]),  double(t.sumLargestSquared[n]),
                                   double(t.sumChi[n]),      double(t.sumChiSquared[n]),
                                   double(t.sumClusters[n]), double(t.sumClustersSquared[n])};
            for (std::size_t k = 0; k < 6; ++k) {
                const std::size_t v = 5 + 3 * (k / 2);
                const double first = e[v] / e[0], second = e[v + 1] / e[0],
                             fourth = e[v + 2] / e[0];
                const double mean = k % 2 ? second : first;
                const double variance = k % 2 ? fourth - second * second : second - first * first;
                QVERIFY2(within(sums[k] / samples, mean, variance),
                         qPrintable(QString("sum %1, n = %2: %3").arg(k).arg(n).arg(mean)));
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

    // Q_n = n/N gives p and Q_n = [n ≥ k] the binomial tail, summed here in long double;
    // exactly so at p = 0 and p = 1.
    void canonicalTransformIsExact()
    {
        QFETCH(int, L);
        QFETCH(double, p);
        QFETCH(int, k);
        Totals t(L, Boundary::Open, 1);
        for (std::size_t n = 0; n < t.sumLargest.size(); ++n)
            t.sumLargest[n] = n;
        t.events.push_back({0, {k, k, k, k}});
        const int N = L * L;
        long double tail = p == 1 ? 1 : 0;
        for (int n = k; n <= N && p > 0 && p < 1; ++n)
            tail +=
                std::exp(std::lgamma(N + 1.0L) - std::lgamma(n + 1.0L) -
                         std::lgamma(N - n + 1.0L) + n * std::log(static_cast<long double>(p)) +
                         (N - n) * std::log1p(-static_cast<long double>(p)));
        const CurvePoint point = canonicalCurves(t, {p}).front();
        QVERIFY(std::abs(point.value[Strength] - p) < 1e-13);
        QVERIFY(std::abs(point.value[SpanVertical] - static_cast<double>(tail)) < 1e-13);
        if (p == 0 || p == 1)
            QVERIFY(point.value[Strength] == p && point.value[SpanVertical] == p);
        QCOMPARE(eventProbability(t, Either, p).value, point.value[SpanEither]);
    }

    void errorsMatchTheSpreadOverRuns_data()
    {
        QTest::addColumn<double>("p");
        QTest::newRow("below pc") << 0.5;
        QTest::newRow("near pc") << 0.6;
        QTest::newRow("above pc") << 0.7;
    }

    // The stated standard errors against the spread of the canonical values over 24 independent
    // runs, itself known to about 15 %: exact for the events; for P∞, ⟨P∞²⟩, χ and clusters per
    // site a bound that may exceed the spread, never fall well below it.
    void errorsMatchTheSpreadOverRuns()
    {
        QFETCH(double, p);
        const int runs = 24;
        std::array<double, ObservableCount> sum{}, squares{}, stated{};
        for (std::uint64_t r = 0; r < runs; ++r) {
            const CurvePoint c =
                canonicalCurves(runSamples({8, Boundary::Torus, 7, r * 200, 200}, 1), {p}).front();
            for (std::size_t o = 0; o < ObservableCount; ++o)
                sum[o] += c.value[o], squares[o] += c.value[o] * c.value[o],
                    stated[o] += c.error[o] / runs;
        }
        for (std::size_t o = 0; o < ObservableCount; ++o) {
            const double spread = std::sqrt((squares[o] - sum[o] * sum[o] / runs) / (runs - 1));
            QVERIFY2(stated[o] > 0.6 * spread && stated[o] < (o < EventCount ? 1.6 : 4) * spread,
                     qPrintable(QString("%1: %2 against %3").arg(o).arg(stated[o]).arg(spread)));
        }
    }

    // Near pc on a large lattice χ·N passes 2³², so its square needs all 128 bits. The lattice
    // is beyond the small torus nodes; its wraps come within 0.03 of pc, where the spread of the
    // first wrap over samples is about L^(−3/4) ≈ 0.006.
    void squaresAreExactInOneSample()
    {
        const Totals t = runSamples({1024, Boundary::Torus, 3, 0, 1}, 1);
        for (const std::int32_t first : t.events.front().firstN)
            QVERIFY(std::abs(first / double(1 << 20) - 0.5927) < 0.03);
        UInt128 largestChi = 0;
        for (std::size_t n = 0; n < t.sumChi.size(); ++n) {
            QVERIFY(t.sumChiSquared[n] == t.sumChi[n] * t.sumChi[n]);
            QVERIFY(t.sumLargestSquared[n] == UInt128{t.sumLargest[n]} * t.sumLargest[n]);
            QVERIFY(t.sumClustersSquared[n] == UInt128{t.sumClusters[n]} * t.sumClusters[n]);
            largestChi = std::max(largestChi, t.sumChi[n]);
        }
        QVERIFY(largestChi > UInt128{1} << 32);
    }

    // The same samples give the same bits however they are split over threads, runs and files.
    void totalsAreBitIdentical()
    {
        const RunRange all{8, Boundary::Torus, 99, 10, 40};
        const Totals one = runSamples(all, 1);
        QVERIFY(bytesOf(one) == bytesOf(runSamples(all, 2)));
        Totals halves = runSamples({8, Boundary::Torus, 99, 30, 20}, 2);
        QCOMPARE(halves.add(runSamples({8, Boundary::Torus, 99, 10, 20}, 1)), std::string());
        QVERIFY(bytesOf(one) == bytesOf(halves));
        std::stringstream file;
        writeTotals(file, {one, runSamples({5, Boundary::Open, 3, 0, 7}, 1)});
        std::vector<Totals> back;
        std::string error;
        QVERIFY2(readTotals(file, back, error), error.c_str());
        QVERIFY(back.size() == 2 && bytesOf(back[0]) == bytesOf(one) && back[1].samples() == 7);
    }

    void damagedFilesAreRefused_data()
    {
        QTest::addColumn<int>("offset"); // of the flipped byte, from the end when negative
        QTest::addColumn<int>("cut");    // bytes cut off the end
        QTest::newRow("header") << 0 << 0;
        QTest::newRow("version") << 8 << 0;
        QTest::newRow("lattice size") << 16 << 0;
        QTest::newRow("a sum") << 200 << 0;
        QTest::newRow("an event") << -12 << 0;
        QTest::newRow("checksum") << -1 << 0;
        QTest::newRow("truncated") << 0 << 1500;
    }

    void damagedFilesAreRefused()
    {
        QFETCH(int, offset);
        QFETCH(int, cut);
        std::string bytes = bytesOf(runSamples({4, Boundary::Open, 5, 0, 6}, 1));
        if (cut > 0)
            bytes = std::string(bytes.data(), bytes.size() - static_cast<std::size_t>(cut));
        else
            bytes[static_cast<std::size_t>(offset < 0 ? int(bytes.size()) + offset : offset)] ^= 1;
        std::istringstream damaged(bytes);
        std::vector<Totals> back(1);
        std::string error;
        QVERIFY(!readTotals(damaged, back, error));
        QVERIFY(!error.empty() && error.find('\n') == std::string::npos && back.size() == 1);
    }

    void mismatchedTotalsAreNotAdded_data()
    {
        QTest::addColumn<RunRange>("other"); // added to samples 0 … 4 of open L = 4, seed 1
        QTest::newRow("size") << RunRange{5, Boundary::Open, 1, 10, 3};
        QTest::newRow("boundary") << RunRange{4, Boundary::Torus, 1, 10, 3};
        QTest::newRow("seed") << RunRange{4, Boundary::Open, 5, 10, 3};
        QTest::newRow("a shared sample") << RunRange{4, Boundary::Open, 1, 4, 3};
    }

    void mismatchedTotalsAreNotAdded()
    {
        QFETCH(RunRange, other);
        Totals base = runSamples({4, Boundary::Open, 1, 0, 5}, 1);
        const std::string before = bytesOf(base);
        QVERIFY(!base.add(runSamples(other, 1)).empty());
        QVERIFY(bytesOf(base) == before);
    }

    // Every estimator within 3 of its stated σ of pc = 0.5927460, plus an allowance for the
    // finite-size shift: about 1e-5 on the 16 × 16 torus, far below σ; up to 3e-3 for open
    // crossing at L = 32. And there the crossing probability at pc is Cardy's 1/2 within 4σ,
    // plus 0.01 for the finite size, with σ itself near √(1/4 / samples).
    void thresholdIsFound()
    {
        const double pc = 0.5927460;
        const Totals torus = runSamples({16, Boundary::Torus, 2024, 0, 4000}, 2);
        const Totals open = runSamples({32, Boundary::Open, 2024, 0, 2000}, 2);
        std::vector<ThresholdEstimate> estimates = estimateThreshold(torus);
        QCOMPARE(estimates.size(), std::size_t{2});
        estimates.push_back(estimateThreshold(open).front());
        for (const ThresholdEstimate& e : estimates) {
            QVERIFY(e.error > 1e-4 && e.error < 3e-3);
            QVERIFY2(std::abs(e.estimate - pc) < 3 * e.error + (e.L == 32 ? 3e-3 : 0),
                     qPrintable(QString("%1: %2 ± %3").arg(e.L).arg(e.estimate).arg(e.error)));
        }
        // The wrap-one estimate is where the canonical curve meets the value at pc.
        const double at = estimates[0].estimate;
        QVERIFY(std::abs(eventProbability(torus, Vertical, at).value +
                         eventProbability(torus, Horizontal, at).value - 2 * 0.521058290) < 1e-9);
        const CurvePoint point = canonicalCurves(open, {pc}).front();
        const double crossing = (point.value[SpanVertical] + point.value[SpanHorizontal]) / 2;
        const double sigma = point.error[SpanVertical];
        QVERIFY(sigma > 0.005 && sigma < 0.02);
        QVERIFY2(std::abs(crossing - 0.5) < 4 * sigma + 0.01,
                 qPrintable(QString("%1 ± %2").arg(crossing).arg(sigma)));
        // Estimates exactly on pc + a·L^(−θ) give pc back, no surer than their mean would be.
        std::vector<ThresholdEstimate> sizes;
        for (const int L : {16, 32, 64})
            sizes.push_back({L, "wrap-one", pc + 0.3 * std::pow(L, -2.75), 1e-4});
        const ThresholdEstimate combined = combineSizes(sizes, 2.75);
        QVERIFY(std::abs(combined.estimate - pc) < 1e-12);
        QVERIFY(combined.error > 1e-4 / std::sqrt(3) && combined.error < 1e-3 && combined.L == 0);
    }
};

QTEST_APPLESS_MAIN(StatsTest)
#include "tst_stats.moc"
