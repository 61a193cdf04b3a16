// Critical exponents by finite-size scaling: fits of synthetic power laws of known exponents
// recover them within their stated errors, and those errors match the spread over replicas; the
// exact canonical slope against finite differences of the canonical curve; the canonical peak
// against a brute-force search; n_s bins against hand counts and sums; the input taken from
// recorded totals.

#include "stats/canonical.h"
#include "stats/canonicalwindow.h"
#include "stats/clustersizes.h"
#include "stats/leastsquares.h"
#include "stats/runner.h"
#include "stats/scaling.h"
#include "stats/scalinginput.h"
#include "stats/threshold.h"

#include <QTest>

#include <cmath>
#include <numeric>
#include <random>

using namespace stats;

Q_DECLARE_METATYPE(stats::Geometry)

namespace {

constexpr double D2 = 91.0 / 48, Gamma2 = 43.0 / 24, InverseNu2 = 0.75;
constexpr double Tau2 = 1 + 2 / D2, Omega2 = 1.5 / D2;

struct Truth
{
    double noise = 0;       // relative error of one group's sum
    double correction = 0;  // b in ⟨S_max⟩ = a·L^D·(1 + b·L^(−3/2))
    bool everything = true; // otherwise ⟨S_max⟩ alone
};

double normal(std::mt19937_64& rng)
{
    const double u = (static_cast<double>(rng() >> 11) + 0.5) * 0x1p-53;
    const double v = static_cast<double>(rng() >> 11) * 0x1p-53;
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
}

// Five sizes of 32 groups of 100 samples whose means follow the 2D exponents, each group's sums
// with independent Gaussian noise; n_s with the correction B = −1 from s = 64 to 0.05 ⟨S_max⟩
// and off it elsewhere, as small clusters and the bump of the finite size make it.
ScalingInput synthetic(const Truth& t, std::mt19937_64& rng)
{
    ScalingInput in;
    for (int L : {16, 32, 64, 128, 256}) {
        const double N = L * L, x = L;
        SizeSums size{L, L * L, 0, std::vector<GroupSums>(32)};
        for (GroupSums& g : size.groups) {
            auto sum = [&](double mean) { return 100 * mean * (1 + t.noise * normal(rng)); };
            g.samples = 100;
            const double largest = 0.7 * std::pow(x, D2) * (1 + t.correction * std::pow(x, -1.5));
            g.largest = sum(largest);
            if (!t.everything)
                continue;
            g.largestSquared = sum(0.6 * N * std::pow(x, Gamma2));
            g.squares = sum(0.9 * N * std::pow(x, Gamma2));
            g.slope = sum(0.3 * std::pow(x, InverseNu2));
            for (int b = 0; b < binsUpTo(std::llround(0.3 * largest)); ++b) {
                const double off = binFirst(b) < 64                      ? 1.3
                                   : double(binLast(b)) > 0.05 * largest ? 2
                                                                         : 1;
                g.clusters.push_back(sum(off * 0.03 * N * double(binLast(b) - binFirst(b) + 1) *
                                         binMeanPowerLaw(b, Tau2, -1, Omega2)));
            }
        }
        in.sizes.push_back(size);
    }
    return in;
}

const ExponentEstimate& find(const ScalingResult& r, const char* observablePrefix)
{
    for (const ExponentEstimate& e : r.estimates)
        if (e.observable.rfind(observablePrefix, 0) == 0)
            return e;
    qFatal("no estimate from %s", observablePrefix);
}

} // namespace

class ScalingTest : public QObject
{
    Q_OBJECT

private slots:
    void recoversExponents_data()
    {
        QTest::addColumn<double>("noise");
        QTest::addColumn<double>("correction");
        QTest::newRow("power laws") << 1e-9 << 0.0;
        QTest::newRow("a correction to <S_max>") << 1e-7 << 2.0;
    }

    // Near noiseless data: every observable gives its exponent; a correction in L is detected,
    // and only the corrected fit recovers D, β/ν and b; τ needs its correction in s throughout.
    void recoversExponents()
    {
        QFETCH(double, noise);
        QFETCH(double, correction);
        std::mt19937_64 rng(1);
        const ScalingResult r = analyseScaling(synthetic({noise, correction}, rng));
        QVERIFY2(r.error.empty(), r.error.c_str());
        QCOMPARE(r.omitted.size(), std::size_t{1}); // χ's maximum: no window recorded
        QCOMPARE(r.estimates.size(), std::size_t{8});
        for (const ExponentEstimate& e : r.estimates) {
            const bool corrected =
                e.exponent == "tau" ||
                (correction != 0 && (e.exponent == "D" || e.exponent == "beta/nu"));
            QVERIFY2(std::abs(e.best().exponent - e.known) < 1e-5 && e.best().valid,
                     qPrintable(QString::fromStdString(e.observable)));
            QCOMPARE(e.correctionUsed, corrected && e.preferred);
            if (corrected && e.preferred)
                QVERIFY(std::abs(e.plain.exponent - e.known) > 1e-3);
        }
        const ExponentEstimate& D = *preferredEstimate(r, "D");
        QVERIFY(std::abs(D.best().correction - correction) < 1e-4);
        QVERIFY(std::abs(D.best().amplitude - 0.7) < 1e-4);
        QCOMPARE(D.plain.dof, 3); // five sizes
        QCOMPARE(D.corrected.dof, 2);
        QVERIFY(std::abs(find(r, "n_s").best().correction + 1) < 1e-4);
        QVERIFY(std::abs(r.hyperscaling) < 1e-5 && r.hyperscalingError < 1e-5);
        QVERIFY(find(r, "<S_max^2>").preferred && !find(r, "chi at pc").preferred);
    }

    void errorsAreCalibrated_data()
    {
        QTest::addColumn<double>("correction");
        QTest::newRow("plain fit") << 0.0;
        QTest::newRow("fit with a correction term") << 2.0;
    }

    // Over 200 replicas the pulls (estimate − true) / stated error have mean 0 and spread 1,
    // each within 3 of its own standard errors (1/√200 and 1/√400).
    void errorsAreCalibrated()
    {
        QFETCH(double, correction);
        std::mt19937_64 rng(2);
        const int replicas = 200;
        double sum = 0, squares = 0;
        for (int k = 0; k < replicas; ++k) {
            const ScalingResult r = analyseScaling(synthetic({0.05, correction, false}, rng));
            const ExponentEstimate* d = preferredEstimate(r, "D");
            QVERIFY(d);
            const PowerLawFit& f = correction != 0 ? d->corrected : d->plain;
            const double pull = (f.exponent - D2) / f.error;
            sum += pull, squares += pull * pull;
        }
        const double mean = sum / replicas, spread = std::sqrt(squares / replicas - mean * mean);
        QVERIFY2(std::abs(mean) < 3 / std::sqrt(replicas), qPrintable(QString::number(mean)));
        QVERIFY2(std::abs(spread - 1) < 3 / std::sqrt(2.0 * replicas),
                 qPrintable(QString::number(spread)));
    }

    void spanningSlopeIsTheDerivative_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<double>("p");
        QTest::addColumn<std::vector<std::int64_t>>("firstN");
        QTest::newRow("3 × 3") << 3 << 0.55 << std::vector<std::int64_t>{3, 5, 5, 8};
        QTest::newRow("4 × 4, low p") << 4 << 0.05 << std::vector<std::int64_t>{1, 2, 9};
        QTest::newRow("never and always") << 4 << 0.5 << std::vector<std::int64_t>{0, 17, 16, 1};
        QTest::newRow("10 × 10 near pc") << 10 << 0.5927 << std::vector<std::int64_t>{55, 60, 61};
    }

    // The mean of the per-sample slopes against a central difference of the canonical
    // probability of the same samples' events.
    void spanningSlopeIsTheDerivative()
    {
        QFETCH(int, L);
        QFETCH(double, p);
        QFETCH(std::vector<std::int64_t>, firstN);
        Totals t(L, Boundary::Torus, 1);
        for (std::size_t s = 0; s < firstN.size(); ++s) {
            const auto k = static_cast<std::int32_t>(firstN[s]);
            t.events.push_back({s, {k, k, k, k}});
        }
        const double h = 1e-6;
        const double difference = (eventProbability(t, Vertical, p + h).value -
                                   eventProbability(t, Vertical, p - h).value) /
                                  (2 * h);
        double slope = 0;
        for (double s : spanningSlopes(firstN, L * L, p))
            slope += s / static_cast<double>(firstN.size());
        QVERIFY2(std::abs(slope - difference) < 1e-6 * std::max(1.0, slope),
                 qPrintable(QString("%1 against %2").arg(slope).arg(difference)));
    }

    void canonicalPeakIsTheMaximum_data()
    {
        QTest::addColumn<std::int64_t>("first");
        QTest::addColumn<std::int64_t>("last");
        QTest::addColumn<double>("centre");
        QTest::addColumn<double>("noise");
        QTest::newRow("whole range") << std::int64_t{0} << std::int64_t{100} << 0.6 << 0.05;
        QTest::newRow("window round the peak")
            << std::int64_t{20} << std::int64_t{95} << 0.58 << 0.05;
        QTest::newRow("peak beyond the window")
            << std::int64_t{0} << std::int64_t{60} << 0.8 << 0.0;
    }

    // Q_n a noisy bump over n of N = 100: the peak against a search over p in steps of 1e-5
    // with weights from lgamma, which it may exceed by the grid's error; NaN when the curve
    // only rises inside the window.
    void canonicalPeakIsTheMaximum()
    {
        QFETCH(std::int64_t, first);
        QFETCH(std::int64_t, last);
        QFETCH(double, centre);
        QFETCH(double, noise);
        const int N = 100;
        std::mt19937_64 rng(3);
        std::vector<double> q;
        for (std::int64_t n = first; n <= last; ++n)
            q.push_back(std::exp(-std::pow((double(n) / N - centre) / 0.1, 2)) +
                        noise * normal(rng));
        const CanonicalPeak peak = canonicalPeak(q, first, N);
        double best = -1;
        std::vector<double> logChoose;
        for (int n = 0; n <= N; ++n)
            logChoose.push_back(std::lgamma(N + 1.0) - std::lgamma(n + 1.0) -
                                std::lgamma(N - n + 1.0));
        for (double p = centre - 0.1; p < centre + 0.1; p += 1e-5) {
            double value = 0, mass = 0;
            for (int n = 0; n <= N; ++n) {
                const double w = std::exp(logChoose[static_cast<std::size_t>(n)] +
                                          n * std::log(p) + (N - n) * std::log1p(-p));
                if (n < first || n > last)
                    mass += w;
                else
                    value += w * q[static_cast<std::size_t>(n - first)];
            }
            best = mass < 1e-9 ? std::max(best, value) : best;
        }
        if (centre > 0.7)
            QVERIFY2(std::isnan(peak.value), qPrintable(QString::number(peak.p)));
        else
            QVERIFY2(peak.value >= best && peak.value - best < 1e-8,
                     qPrintable(QString("%1 against %2 at %3")
                                    .arg(peak.value, 0, 'g', 15)
                                    .arg(best, 0, 'g', 15)
                                    .arg(peak.p)));
    }

    // Every s ≥ 1 in exactly one bin; a hand-made distribution's n_s per bin; bin means of a
    // power law with its correction against their sums term by term.
    void clusterBins()
    {
        for (std::int64_t s = 1; s < 5000; ++s)
            QVERIFY(binFirst(sizeBin(s)) <= s && s <= binLast(sizeBin(s)) &&
                    binFirst(sizeBin(s) + 1) == binLast(sizeBin(s)) + 1);
        QCOMPARE(sizeBin((std::int64_t{1} << 40) + 3), 15 + 4 * 36);
        QCOMPARE(binsUpTo(15), 15);
        QCOMPARE(binsUpTo(16), 16);
        std::vector<double> counts(static_cast<std::size_t>(binsUpTo(1000)));
        for (std::int64_t s : {1, 1, 2, 15, 16, 19, 20, 31, 32, 39, 40, 1000})
            ++counts[static_cast<std::size_t>(sizeBin(s))];
        const std::vector<double> ns = binnedDensity(counts, 2, 50);
        const std::vector<std::pair<int, double>> expected = {
            {0, 2 / 100.0},  {1, 1 / 100.0},  {14, 1 / 100.0}, {15, 2 / 400.0},  {16, 1 / 400.0},
            {18, 1 / 400.0}, {19, 2 / 800.0}, {20, 1 / 800.0}, {38, 1 / 12800.0}};
        double total = 0;
        for (const auto& [bin, density] : expected) {
            QCOMPARE(ns[static_cast<std::size_t>(bin)], density);
            total += density;
        }
        QCOMPARE(std::accumulate(ns.begin(), ns.end(), 0.0), total);
        for (int bin : {0, 14, 20, 30, 40, 60}) {
            double sum = 0;
            for (std::int64_t s = binFirst(bin); s <= binLast(bin); ++s)
                sum += std::pow(double(s), -2.2) * (1 - 0.8 * std::pow(double(s), -0.7));
            const double mean = sum / double(binLast(bin) - binFirst(bin) + 1);
            QVERIFY(std::abs(binMeanPowerLaw(bin, 2.2, -0.8, 0.7) / mean - 1) < 1e-5);
        }
    }

    void chiSquaredQuality_data()
    {
        QTest::addColumn<double>("chiSquared");
        QTest::addColumn<int>("dof");
        QTest::addColumn<double>("quality"); // closed forms by erfc and Poisson sums
        QTest::newRow("one, mean") << 1.0 << 1 << 0.31731050786291404;
        QTest::newRow("one, 1 %") << 6.63 << 1 << 0.010027526446317953;
        QTest::newRow("three") << 2.5 << 3 << 0.4752910833430206;
        QTest::newRow("four, 5 %") << 9.488 << 4 << 0.04999440557799463;
        QTest::newRow("ten, tail") << 30.0 << 10 << 0.0008566412107753004;
        QTest::newRow("ten, small") << 0.5 << 10 << 0.9999933882894391;
        QTest::newRow("many") << 150.0 << 121 << 0.037930935305671674;
    }

    void chiSquaredQuality()
    {
        QFETCH(double, chiSquared);
        QFETCH(int, dof);
        QFETCH(double, quality);
        QVERIFY(std::abs(stats::chiSquaredQuality(chiSquared, dof) / quality - 1) < 1e-10);
    }

    void refusesInput_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("reason");
        QTest::newRow("three sizes") << 0 << QString("at least 4 sizes; there are 3");
        QTest::newRow("a size twice") << 1 << QString("L = 32 appears twice");
        QTest::newRow("one group")
            << 2 << QString("L = 16 has samples in fewer than 2 jackknife groups");
        QTest::newRow("negative omega") << 3 << QString("omega must be positive");
        QTest::newRow("cut-off above 1") << 4 << QString("cut-off in (0, 1]");
        QTest::newRow("nothing measured") << 5 << QString("none of the observables");
    }

    void refusesInput()
    {
        QFETCH(int, change);
        QFETCH(QString, reason);
        std::mt19937_64 rng(4);
        ScalingInput in = synthetic({0.01, 0, false}, rng);
        if (change == 0)
            in.sizes.resize(3);
        if (change == 1)
            in.sizes[0].L = 32;
        if (change == 2)
            in.sizes[0].groups.resize(1);
        in.omega = change == 3 ? -1 : in.omega;
        in.cutOff = change == 4 ? 2 : in.cutOff;
        for (SizeSums& s : in.sizes)
            for (GroupSums& g : s.groups)
                g.largest = change == 5 ? 0 : g.largest;
        const ScalingResult r = analyseScaling(in);
        QVERIFY2(QString::fromStdString(r.error).contains(reason), r.error.c_str());
        QVERIFY(r.estimates.empty());
    }

    void inputComesFromTheTotals_data()
    {
        QTest::addColumn<Geometry>("geometry");
        QTest::newRow("square site torus")
            << Geometry{Lattice::Square, Model::Site, 8, Boundary::Torus};
        QTest::newRow("cubic bond open")
            << Geometry{Lattice::Cubic, Model::Bond, 3, Boundary::Open};
    }

    // The adapter's slope, summed over groups, is dR/dp at pc of the curve every plot shows
    // (the mean over the directions, over the elements' occupation), by a central difference;
    // the groups hold the samples of their numbers, each with its snapshot at pc.
    void inputComesFromTheTotals()
    {
        QFETCH(Geometry, geometry);
        const double pc = knownThreshold(geometry.lattice, geometry.model);
        const Totals t = runSamples(
            {geometry.L, geometry.boundary, 3, 5, 300, geometry.lattice, geometry.model}, 1,
            nullptr, {}, {pc});
        std::string error;
        const SizeSums size = scalingSums(t, error);
        QVERIFY2(error.empty(), error.c_str());
        QCOMPARE(size.groups.size(), std::size_t(JackknifeGroups));
        double slope = 0;
        for (std::size_t g = 0; g < size.groups.size(); ++g) {
            QCOMPARE(size.groups[g].samples, std::uint64_t(9 + ((g + 27) % 32 < 12))); // 5 … 304
            slope += size.groups[g].slope;
        }
        const CanonicalCurves curves(t);
        const double h = 1e-4, d = geometry.dimensions();
        const double difference = (directionsMean(curves.at(pc + h), int(d)) -
                                   directionsMean(curves.at(pc - h), int(d))) /
                                  (2 * h);
        QVERIFY2(std::abs(slope / 300 - difference) < 1e-4 * difference,
                 qPrintable(QString("%1 against %2").arg(slope / 300).arg(difference)));
    }

    void inputIsRefused_data()
    {
        QTest::addColumn<QString>("sizes"); // L:p of the snapshots ("-" for none), torus
        QTest::addColumn<QString>("because");
        QTest::newRow("three sizes") << "4:pc 6:pc 8:pc"
                                     << "at least 4";
        QTest::newRow("no snapshots") << "4:pc 6:pc 8:- 10:pc"
                                      << "L = 8 has no snapshots";
        QTest::newRow("snapshots elsewhere") << "4:pc 6:pc 8:pc 10:0.3"
                                             << "L = 10 has no snapshots";
        QTest::newRow("another boundary") << "4:pc 6:pc 8:pc 10:open"
                                          << "one lattice";
    }

    // One line saying why, and no sizes.
    void inputIsRefused()
    {
        QFETCH(QString, sizes);
        QFETCH(QString, because);
        std::vector<Totals> totals;
        for (const QString& size : sizes.split(' ')) {
            const QString p = size.section(':', 1);
            const std::vector<double> ps = p == "pc" || p == "open" ? std::vector{0.59274605079}
                                           : p == "-"               ? std::vector<double>{}
                                                                    : std::vector{p.toDouble()};
            totals.push_back(runSamples({size.section(':', 0, 0).toInt(),
                                         p == "open" ? Boundary::Open : Boundary::Torus, 1, 0, 40},
                                        1, nullptr, {}, ps));
        }
        std::string error;
        const ScalingInput input = scalingInput(totals, error);
        QVERIFY2(error.find(because.toStdString()) != std::string::npos, error.c_str());
        QVERIFY(error.find('\n') == std::string::npos && input.sizes.empty());
    }
};

QTEST_APPLESS_MAIN(ScalingTest)
#include "tst_scaling.moc"
