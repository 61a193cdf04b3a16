// The engine's results, pinned: for fixed seeds, sizes and sample counts, checksums of every
// exact sum and first-n event in the totals, and of every number of the canonical curves. Speed
// work must never move a result; a deliberate change of a formula re-pins here and says why.
// The cases cover the open lattice with and without prefetching, and each torus position
// encoding (packed, 16-bit and 32-bit split) with and without prefetching. Every encoding that
// is exact for a size, and the portable forms of the processor-specific steps, must give the
// same bits as the sweep a run chooses.

#include "stats/canonical.h"
#include "stats/runner.h"
#include "stats/sweep.h"

#include <QTest>

#include <charconv>
#include <cstring>

using namespace stats;

Q_DECLARE_METATYPE(stats::RunRange)
Q_DECLARE_METATYPE(stats::Boundary)

namespace {

class Fnv
{
public:
    void add(const void* data, std::size_t size)
    {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i)
            hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
    }
    template <typename T> void addAll(const std::vector<T>& values)
    {
        add(values.data(), values.size() * sizeof(T));
    }
    // The shortest text that reads back as the same double, as the CSV writes it.
    void addNumber(double value)
    {
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        add(text, static_cast<std::size_t>(end - text));
        add(",", 1);
    }
    std::uint64_t value() const { return hash; }

private:
    std::uint64_t hash = 0xcbf29ce484222325ULL;
};

std::uint64_t sumsChecksum(const Totals& t)
{
    Fnv f;
    f.addAll(t.sumLargest);
    f.addAll(t.sumLargestSquared);
    f.addAll(t.sumChi);
    f.addAll(t.sumChiSquared);
    f.addAll(t.sumClusters);
    f.addAll(t.sumClustersSquared);
    for (const SampleEvents& e : t.events) {
        f.add(&e.sample, sizeof e.sample);
        f.add(e.firstN.data(), sizeof e.firstN);
    }
    return f.value();
}

std::uint64_t curvesChecksum(const Totals& t)
{
    std::vector<double> ps;
    for (int i = 0; i <= 100; ++i)
        ps.push_back(i / 100.0);
    Fnv f;
    for (const CurvePoint& point : canonicalCurves(t, ps))
        for (int o = 0; o < ObservableCount; ++o) {
            f.addNumber(point.value[static_cast<std::size_t>(o)]);
            f.addNumber(point.error[static_cast<std::size_t>(o)]);
        }
    return f.value();
}

bool sameBits(const Totals& a, const Totals& b)
{
    auto sameEvents = [&] {
        return std::equal(a.events.begin(), a.events.end(), b.events.begin(), b.events.end(),
                          [](const SampleEvents& x, const SampleEvents& y) {
                              return x.sample == y.sample && x.firstN == y.firstN;
                          });
    };
    return a.sumLargest == b.sumLargest && a.sumLargestSquared == b.sumLargestSquared &&
           a.sumChi == b.sumChi && a.sumChiSquared == b.sumChiSquared &&
           a.sumClusters == b.sumClusters && a.sumClustersSquared == b.sumClustersSquared &&
           sameEvents();
}

Totals sweepWith(const SweepOptions& options, int L, Boundary boundary, int samples)
{
    Totals totals(L, boundary, 21);
    Sweep sweep(L, boundary, options);
    for (int k = 0; k < samples; ++k)
        sweep.run(21, static_cast<std::uint64_t>(k), totals);
    sweep.flush(totals);
    return totals;
}

} // namespace

class PinnedTest : public QObject
{
    Q_OBJECT

private slots:
    void resultsDoNotMove_data()
    {
        QTest::addColumn<RunRange>("range");
        QTest::addColumn<quint64>("sums");
        QTest::addColumn<quint64>("curves");
        const auto open = Boundary::Open;
        const auto torus = Boundary::Torus;
        QTest::newRow("open 13") << RunRange{13, open, 11, 0, 300} << 987909764774400944ull
                                 << 15551410234681826593ull;
        QTest::newRow("open 600, prefetched")
            << RunRange{600, open, 12, 5, 2} << 17283423328801451004ull << 16285338497075775242ull;
        QTest::newRow("torus 1") << RunRange{1, torus, 13, 0, 3} << 16057709644006264102ull
                                 << 1454651989797536724ull;
        QTest::newRow("torus 13, packed")
            << RunRange{13, torus, 14, 0, 300} << 6074841654321875440ull << 350368061008280075ull;
        QTest::newRow("torus 200, 16-bit split")
            << RunRange{200, torus, 15, 0, 3} << 10107862626841794042ull << 9864180039716472003ull;
        QTest::newRow("torus 256, 32-bit split, prefetched")
            << RunRange{256, torus, 16, 0, 3} << 4258258297569097119ull << 18142212346523314045ull;
        QTest::newRow("torus 600, 16-bit split, prefetched")
            << RunRange{600, torus, 17, 0, 2} << 1874099905186874115ull << 11477756685724393432ull;
    }

    void resultsDoNotMove()
    {
        QFETCH(RunRange, range);
        QFETCH(quint64, sums);
        QFETCH(quint64, curves);
        const Totals totals = runSamples(range, 2);
        QCOMPARE(totals.samples(), range.sampleCount);
        QCOMPARE(quint64{sumsChecksum(totals)}, sums);
#if defined(__x86_64__)
        // The curves go through long double, whose width differs between processors.
        QCOMPARE(quint64{curvesChecksum(totals)}, curves);
#endif
    }

    // Sizes where one, two or three encodings are exact (packed up to L = 181; 16-bit split up
    // to 255 and for sizes with few factors 2), and lattices of one and two sites, which are their own and
    // each other's neighbours.
    void variantsGiveTheSameBits_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<Boundary>("boundary");
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("variants"); // how many must run
        QTest::newRow("open 2") << 2 << Boundary::Open << 50 << 2;
        QTest::newRow("open 37") << 37 << Boundary::Open << 20 << 2;
        QTest::newRow("torus 1") << 1 << Boundary::Torus << 5 << 6;
        QTest::newRow("torus 2") << 2 << Boundary::Torus << 50 << 6;
        QTest::newRow("torus 13") << 13 << Boundary::Torus << 50 << 6;
        QTest::newRow("torus 181") << 181 << Boundary::Torus << 4 << 6;
        QTest::newRow("torus 255") << 255 << Boundary::Torus << 2 << 4;
        QTest::newRow("torus 256") << 256 << Boundary::Torus << 2 << 2;
    }

    void variantsGiveTheSameBits()
    {
        QFETCH(int, L);
        QFETCH(Boundary, boundary);
        QFETCH(int, samples);
        QFETCH(int, variants);
        const Totals chosen = runSamples({L, boundary, 21, 0, std::uint64_t(samples)}, 1);
        int ran = 0;
        for (const auto encoding :
             {TorusEncoding::Packed, TorusEncoding::Split16, TorusEncoding::Split32})
            for (const bool portable : {false, true}) {
                if (!encodingIsExact(encoding, L) ||
                    (boundary == Boundary::Open && encoding != TorusEncoding::Split32))
                    continue;
                const Totals t = sweepWith({encoding, portable}, L, boundary, samples);
                QVERIFY2(
                    sameBits(t, chosen),
                    qPrintable(
                        QString("encoding %1, portable %2").arg(int(encoding)).arg(portable)));
                if (boundary == Boundary::Torus)
                    QCOMPARE(Sweep(L, boundary, {encoding, portable}).encoding(), encoding);
                ++ran;
            }
        QCOMPARE(ran, variants);
    }
};

QTEST_APPLESS_MAIN(PinnedTest)
#include "tst_pinned.moc"
