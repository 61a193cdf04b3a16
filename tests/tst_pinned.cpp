// The engine's results, pinned: for fixed seeds, sizes and sample counts, checksums of every
// exact sum and first-n event in the totals, and of every number of the canonical curves. Speed
// work must never move a result; a deliberate change of a formula re-pins here and says why.
// The cases cover the open lattice with and without prefetching, and each torus position
// encoding (packed, 16-bit and 32-bit split) with and without prefetching.

#include "stats/canonical.h"
#include "stats/runner.h"

#include <QTest>

#include <charconv>
#include <cstring>

using namespace stats;

Q_DECLARE_METATYPE(stats::RunRange)

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
                                 << 10843894358039168395ull;
        QTest::newRow("open 600, prefetched")
            << RunRange{600, open, 12, 5, 2} << 17283423328801451004ull << 12614301010986427119ull;
        QTest::newRow("torus 1") << RunRange{1, torus, 13, 0, 3} << 16057709644006264102ull
                                 << 1454651989797536724ull;
        QTest::newRow("torus 13, packed")
            << RunRange{13, torus, 14, 0, 300} << 6074841654321875440ull << 7708143123511316803ull;
        QTest::newRow("torus 200, 16-bit split")
            << RunRange{200, torus, 15, 0, 3} << 10107862626841794042ull << 2887718500782691795ull;
        QTest::newRow("torus 256, 32-bit split, prefetched")
            << RunRange{256, torus, 16, 0, 3} << 4258258297569097119ull << 9295236460994565042ull;
        QTest::newRow("torus 600, 16-bit split, prefetched")
            << RunRange{600, torus, 17, 0, 2} << 1874099905186874115ull << 8599110622120942282ull;
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
};

QTEST_APPLESS_MAIN(PinnedTest)
#include "tst_pinned.moc"
