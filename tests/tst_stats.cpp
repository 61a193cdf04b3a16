// The statistics engine: microcanonical values against exhaustive enumeration of small
// lattices, the canonical transform against exact polynomials, bit-identical totals however the
// samples are split, the accumulator file's round trip and refusals, and threshold estimates.

#include "stats/canonical.h"
#include "stats/runner.h"
#include "stats/threshold.h"
#include "stats/totalsfile.h"

#include <QTest>

#include "stats/curvescsv.h"
#include "stats/streams.h"

#include <cmath>
#include <sstream>
#include <vector>

using namespace stats;

Q_DECLARE_METATYPE(stats::RunRange)
Q_DECLARE_METATYPE(std::vector<std::uint64_t>)

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

// Every number totals hold, as their accumulator file.
std::string bytesOf(const std::vector<Totals>& sizes)
{
    std::stringstream file;
    writeTotals(file, sizes);
    return file.str();
}

std::string bytesOf(const Totals& totals)
{
    return bytesOf(std::vector<Totals>{totals});
}

// The body of an accumulator file with an FNV-1a checksum that fits it.
std::string bytesWithChecksum(std::string body)
{
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : body)
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    for (int i = 0; i < 8; ++i, h >>= 8)
        body += static_cast<char>(h & 0xff);
    return body;
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
        QTest::newRow("far below pc") << 0.3;
        QTest::newRow("below pc") << 0.5;
        QTest::newRow("near pc") << 0.6;
        QTest::newRow("above pc") << 0.7;
    }

    // The stated standard errors against the spread of the canonical values over 24 independent
    // runs, itself known to about 15 %: exact for the events; for P∞, χ and clusters per site a
    // bound that may exceed the spread, never fall well below it; for ⟨P∞²⟩ an estimate from
    // the spread of P∞, within the same factor as P∞'s own bound.
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
            const double most = o < EventCount ? 1.6 : o == StrengthSquared ? 2 : 4;
            QVERIFY2(stated[o] > 0.6 * spread && stated[o] < most * spread,
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
        writeTotals(file, {one, runSamples({9, Boundary::Torus, 99, 0, 7}, 1)});
        std::vector<Totals> back;
        std::string error;
        QVERIFY2(readTotals(file, back, error), error.c_str());
        QVERIFY(back.size() == 2 && bytesOf(back[0]) == bytesOf(one) && back[1].samples() == 7);
    }

    void damagedFilesAreRefused_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("because"); // a word of the one-line reason
        // Damaged bytes: the checksum is checked before any field is trusted.
        for (const char* at : {"16", "200", "-12", "-1"})
            QTest::addRow("flipped bit at %s", at) << QString("flip %1").arg(at) << "checksum";
        QTest::newRow("flipped version") << "flip 8"
                                         << "version";
        QTest::newRow("truncated") << "cut 1500"
                                   << "checksum";
        QTest::newRow("no header") << "text"
                                   << "PERCSTAT";
        QTest::newRow("header only") << "cut -20"
                                     << "truncated";
        // Forged with a correct checksum.
        QTest::newRow("S_max above n") << "largest"
                                       << "impossible sums";
        QTest::newRow("chi above n²") << "chi"
                                      << "impossible sums";
        QTest::newRow("not one cluster when full") << "clusters"
                                                   << "impossible sums";
        QTest::newRow("more samples than sums say") << "extra sample"
                                                    << "impossible sums";
        QTest::newRow("a crossing before L sites") << "early event"
                                                   << "impossible events";
        QTest::newRow("sizes descending") << "descending"
                                          << "ascending";
        QTest::newRow("boundaries mixed") << "mixed boundaries"
                                          << "boundaries";
        QTest::newRow("seeds mixed") << "mixed seeds"
                                     << "seeds";
        QTest::newRow("L = 1") << "L = 1"
                               << "lattice size";
        QTest::newRow("more sizes than bytes") << "count"
                                               << "truncated";
    }

    // A damaged or forged file is refused with one line, and the caller's totals stay as
    // they were.
    void damagedFilesAreRefused()
    {
        QFETCH(QString, damage);
        QFETCH(QString, because);
        Totals t = runSamples({4, Boundary::Open, 5, 0, 6}, 1);
        const Totals other = runSamples({6, Boundary::Open, 5, 0, 6}, 1);
        std::vector<Totals> sizes = {t, other};
        const QStringList words = damage.split(' ');
        if (damage == "largest")
            sizes[0].sumLargest[5] = 6 * 5 + 1;
        else if (damage == "chi")
            sizes[0].sumChi[3] = UInt128{1} << 100;
        else if (damage == "clusters")
            sizes[0].sumClusters[16] = 7;
        else if (damage == "extra sample")
            sizes[0].events.push_back({99, {16, 16, 16, 16}});
        else if (damage == "early event")
            sizes[0].events[2].firstN = {3, 16, 3, 16};
        else if (damage == "descending")
            std::swap(sizes[0], sizes[1]);
        else if (damage.startsWith("mixed"))
            sizes[1] = runSamples({6, damage.endsWith("seeds") ? Boundary::Open : Boundary::Torus,
                                   damage.endsWith("seeds") ? 6u : 5u, 0, 6},
                                  1);
        else if (damage == "L = 1")
            sizes[0] = runSamples({1, Boundary::Open, 5, 0, 6}, 1);
        std::string bytes = bytesOf(sizes);
        const int at = words.size() > 1 ? words[1].toInt() : 0;
        const auto index = static_cast<std::size_t>(at < 0 ? int(bytes.size()) + at : at);
        if (words[0] == "flip")
            bytes[index] ^= 1;
        else if (words[0] == "cut")
            bytes.resize(at < 0 ? std::size_t(-at) : bytes.size() - std::size_t(at));
        else if (damage == "text")
            bytes = "p,L\n0.5,8\n";
        else if (damage == "count") {
            bytes[12] = 3; // three sizes where two are, and the checksum made to fit
            bytes = bytesWithChecksum(bytes.substr(0, bytes.size() - 8));
        }
        std::istringstream damaged(bytes);
        std::vector<Totals> back(1);
        std::string error;
        QVERIFY(!readTotals(damaged, back, error));
        QVERIFY2(error.find(because.toStdString()) != std::string::npos, error.c_str());
        QVERIFY(error.find('\n') == std::string::npos && back.size() == 1 && back[0].L == 0);
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
        // The wrap-mean estimate is where the canonical curve meets the value at pc.
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
            sizes.push_back({L, "wrap-mean", pc + 0.3 * std::pow(L, -2.75), 1e-4});
        const ThresholdEstimate combined = combineSizes(sizes, 2.75);
        QVERIFY(std::abs(combined.estimate - pc) < 1e-12);
        QVERIFY(combined.error > 1e-4 / std::sqrt(3) && combined.error < 1e-3 && combined.L == 0);
    }

    // The random streams from the published algorithms, written out here afresh: SplitMix64
    // (Steele, Lea & Flood 2014), xoshiro256** (Blackman & Vigna 2021) and Lemire's bounded
    // integers (2019); the first two also against outputs known from their authors' code.
    void streamsFollowThePublishedAlgorithms()
    {
        auto splitMix = [](std::uint64_t& x) {
            std::uint64_t z = x += 0x9e3779b97f4a7c15;
            z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
            z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
            return z ^ (z >> 31);
        };
        auto rotl = [](std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); };
        auto xoshiro = [&](std::array<std::uint64_t, 4>& s) {
            const std::uint64_t result = rotl(s[1] * 5, 7) * 9, t = s[1] << 17;
            s[2] ^= s[0], s[3] ^= s[1], s[1] ^= s[2], s[0] ^= s[3], s[2] ^= t;
            s[3] = rotl(s[3], 45);
            return result;
        };
        std::uint64_t zero = 0;
        QCOMPARE(splitMix(zero), 0xe220a8397b1dcdafULL);
        std::array<std::uint64_t, 4> known = {1, 2, 3, 4};
        for (const std::uint64_t expected :
             {11520ULL, 0ULL, 1509978240ULL, 1215971899390074240ULL})
            QCOMPARE(xoshiro(known), expected);
        for (const auto& [seed, sample] :
             {std::pair<std::uint64_t, std::uint64_t>{1, 0}, {42, 123456789}, {~0ULL, ~0ULL}}) {
            // Sample i of seed s: SplitMix64 of (SplitMix64 of s) xor i keys a SplitMix64
            // sequence that fills the xoshiro state.
            std::uint64_t x = seed, key = splitMix(x) ^ sample;
            key = splitMix(key);
            std::array<std::uint64_t, 4> state;
            for (auto& word : state)
                word = splitMix(key);
            SampleStream stream(seed, sample);
            for (int i = 0; i < 4; ++i)
                QCOMPARE(stream.next(), xoshiro(state));
            for (const std::uint32_t bound : {1u, 7u, (1u << 31) + 1, ~0u})
                for (int i = 0; i < 8; ++i) {
                    std::uint64_t product = (xoshiro(state) >> 32) * bound;
                    while (static_cast<std::uint32_t>(product) < (0u - bound) % bound)
                        product = (xoshiro(state) >> 32) * bound;
                    QCOMPARE(stream.below(bound), static_cast<std::uint32_t>(product >> 32));
                }
        }
    }

    void missingSamplesAreFound_data()
    {
        QTest::addColumn<std::vector<std::uint64_t>>("done");
        QTest::addColumn<std::vector<std::uint64_t>>("missing");  // first, count, first, count…
        QTest::addColumn<std::vector<std::uint64_t>>("rank1of3"); // of the missing ones
        using V = std::vector<std::uint64_t>;
        // Of samples 10 … 19:
        QTest::newRow("none done") << V{} << V{10, 10} << V{13, 3};
        QTest::newRow("all done") << V{10, 11, 12, 13, 14, 15, 16, 17, 18, 19} << V{} << V{};
        QTest::newRow("holes left by threads")
            << V{10, 11, 12, 14, 15, 18} << V{13, 1, 16, 2, 19, 1} << V{16, 1};
        QTest::newRow("samples outside the range") << V{3, 10, 19, 25} << V{11, 8} << V{13, 3};
        QTest::newRow("the last one missing")
            << V{10, 11, 12, 13, 14, 15, 16, 17, 18} << V{19, 1} << V{};
    }

    // The samples a range lacks, and the share of them one of three ranks takes.
    void missingSamplesAreFound()
    {
        QFETCH(std::vector<std::uint64_t>, done);
        QFETCH(std::vector<std::uint64_t>, missing);
        QFETCH(std::vector<std::uint64_t>, rank1of3);
        Totals t(2, Boundary::Open, 1);
        for (const std::uint64_t sample : done)
            t.events.push_back({sample, {2, 2, 2, 2}});
        auto flat = [](const std::vector<SampleRange>& ranges) {
            std::vector<std::uint64_t> list;
            for (const SampleRange& r : ranges)
                list.insert(list.end(), {r.first, r.count});
            return list;
        };
        const std::vector<SampleRange> found = missingSamples(t, {10, 10});
        QCOMPARE(flat(found), missing);
        QCOMPARE(flat(shareOf(found, 1, 3)), rank1of3);
        std::uint64_t shared = 0;
        for (int rank = 0; rank < 3; ++rank)
            shared += sampleCount(shareOf(found, rank, 3));
        QCOMPARE(shared, sampleCount(found));
    }

    // However a run is cut (cancelled mid-way, holes filled later, checkpoints after every
    // sample), its totals have the bytes of one uninterrupted run, and each checkpoint holds
    // exactly the samples finished by then.
    void interruptedRunsAddUpExactly()
    {
        const RunRange all{6, Boundary::Torus, 3, 0, 60};
        const std::string whole = bytesOf(runSamples(all, 1));
        Totals t(6, Boundary::Torus, 3);
        std::atomic<bool> cancel{false};
        RunControl control;
        control.threads = 3;
        control.cancel = &cancel;
        control.progress = [&](std::uint64_t done) { cancel = cancel || done >= 20; };
        control.checkpointDue = [] { return true; };
        std::uint64_t checkpoints = 0, previous = 0;
        control.checkpoint = [&](const Totals& sofar) {
            ++checkpoints;
            QVERIFY(sofar.samples() > previous);
            previous = sofar.samples();
            cancel = cancel || previous >= 20;
        };
        const std::uint64_t ran = runSamples(t, {{0, 60}}, control);
        QCOMPARE(t.samples(), ran);
        QVERIFY(ran >= 20 && ran < 60 && checkpoints > 0);
        control.cancel = nullptr;
        QCOMPARE(runSamples(t, missingSamples(t, {0, 60}), control), 60 - ran);
        QVERIFY(bytesOf(t) == whole);
    }

    // The CSV: a row per size and p, a field per column, every number read back exactly, the
    // errors left empty where one sample gives none, and no rows for a size without samples.
    void curvesCsvHasEveryRow()
    {
        const std::vector<Totals> sizes = {runSamples({4, Boundary::Torus, 9, 0, 1}, 1),
                                           Totals(5, Boundary::Torus, 9),
                                           runSamples({6, Boundary::Torus, 9, 0, 30}, 1)};
        const std::vector<double> ps = {0.1, 0.593, 1};
        std::ostringstream out;
        writeCurvesCsv(out, sizes, ps);
        const QStringList lines = QString::fromStdString(out.str()).split('\n');
        QCOMPARE(lines.size(), 1 + 2 * 3 + 1);
        QCOMPARE(lines.front(), QString(curvesCsvHeader()));
        const int columns = int(lines.front().count(',')) + 1;
        QCOMPARE(columns, 5 + 2 * ObservableCount);
        const CurvePoint expected = canonicalCurves(sizes[2], ps).at(1);
        for (int row = 1; row <= 6; ++row) {
            const QStringList fields = lines[row].split(',');
            QCOMPARE(fields.size(), columns);
            QCOMPARE(fields[0], QString(QStringList{"0.1", "0.593", "1"}[(row - 1) % 3]));
            QCOMPARE(fields[4], QString(row <= 3 ? "1" : "30"));
            for (int o = 0; o < ObservableCount; ++o) {
                QVERIFY(!fields[5 + 2 * o].isEmpty());
                QCOMPARE(fields[6 + 2 * o].isEmpty(), row <= 3);
                if (row == 5)
                    QCOMPARE(fields[5 + 2 * o].toDouble(), expected.value[std::size_t(o)]);
            }
        }
    }
};

QTEST_APPLESS_MAIN(StatsTest)
#include "tst_stats.moc"
