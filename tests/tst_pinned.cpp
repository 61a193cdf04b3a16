// The engine's results, pinned: for fixed seeds, sizes and sample counts, checksums of every
// exact sum and first-n event in the totals, and of every number of the canonical curves. Speed
// work must never move a result; a deliberate change of a formula re-pins here and says why.
// The cases cover the open lattice with and without prefetching, each torus position encoding
// (packed, 16-bit and 32-bit split) with and without prefetching, and every other lattice and
// model. Every encoding that is exact for a geometry, and the portable forms of the
// processor-specific steps, must give the same bits as the sweep a run chooses.

#include "stats/canonical.h"
#include "stats/runner.h"
#include "stats/sweep.h"

#include <QTest>

#include <charconv>
#include <cstring>

using namespace stats;

Q_DECLARE_METATYPE(stats::RunRange)
Q_DECLARE_METATYPE(stats::Geometry)

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
        f.add(e.firstN.data(), sizeof(std::int32_t) * std::size_t(t.geometry().eventCount()));
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

Totals sweepWith(const SweepOptions& options, const Geometry& geometry, int samples)
{
    Totals totals(geometry, 21);
    Sweep sweep(geometry, options);
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
        const auto site = Model::Site, bond = Model::Bond;
        QTest::newRow("square bond, torus 13")
            << RunRange{13, torus, 18, 0, 200, Lattice::Square, bond} << 13491483706790638396ull
            << 11127996316828678984ull;
        QTest::newRow("triangular site, open 13")
            << RunRange{13, open, 19, 0, 200, Lattice::Triangular, site} << 10306027775362279227ull
            << 6482615375761386183ull;
        QTest::newRow("triangular bond, torus 13")
            << RunRange{13, torus, 20, 0, 200, Lattice::Triangular, bond} << 5593454957648059808ull
            << 16119838296207426001ull;
        QTest::newRow("honeycomb site, torus 14")
            << RunRange{14, torus, 21, 0, 200, Lattice::Honeycomb, site} << 8797787134774514376ull
            << 17805294475265309955ull;
        QTest::newRow("honeycomb bond, open 13")
            << RunRange{13, open, 22, 0, 200, Lattice::Honeycomb, bond} << 239027060357888136ull
            << 9873742644101931136ull;
        QTest::newRow("cubic site, torus 7")
            << RunRange{7, torus, 23, 0, 200, Lattice::Cubic, site} << 9134007912543695997ull
            << 8860509537945370421ull;
        QTest::newRow("cubic bond, open 7") << RunRange{7, open, 24, 0, 200, Lattice::Cubic, bond}
                                            << 15869372186030077554ull << 1594805503641892715ull;
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

    // Sizes where one, two or three encodings are exact (packed up to L = 181 in the plane,
    // never in space; 16-bit split in the plane up to 255 and for sizes with few factors 2, in
    // space up to 255 when odd, fewer with factors 2), and lattices of one and two sites, which
    // are their own and each other's neighbours.
    void variantsGiveTheSameBits_data()
    {
        QTest::addColumn<Geometry>("geometry");
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("variants"); // how many must run
        const struct
        {
            Lattice lattice;
            Model model;
            int L;
            Boundary boundary;
            int samples, variants;
        } rows[] = {
            {Lattice::Square, Model::Site, 2, Boundary::Open, 50, 2},
            {Lattice::Square, Model::Site, 37, Boundary::Open, 20, 2},
            {Lattice::Square, Model::Site, 1, Boundary::Torus, 5, 6},
            {Lattice::Square, Model::Site, 2, Boundary::Torus, 50, 6},
            {Lattice::Square, Model::Site, 13, Boundary::Torus, 50, 6},
            {Lattice::Square, Model::Site, 181, Boundary::Torus, 4, 6},
            {Lattice::Square, Model::Site, 255, Boundary::Torus, 2, 4},
            {Lattice::Square, Model::Site, 256, Boundary::Torus, 2, 2},
            {Lattice::Square, Model::Bond, 13, Boundary::Torus, 50, 6},
            {Lattice::Triangular, Model::Site, 9, Boundary::Open, 50, 2},
            {Lattice::Triangular, Model::Site, 13, Boundary::Torus, 50, 6},
            {Lattice::Triangular, Model::Bond, 2, Boundary::Torus, 50, 6},
            {Lattice::Triangular, Model::Bond, 13, Boundary::Torus, 50, 6},
            {Lattice::Honeycomb, Model::Site, 14, Boundary::Torus, 50, 6},
            {Lattice::Honeycomb, Model::Bond, 9, Boundary::Open, 50, 2},
            {Lattice::Honeycomb, Model::Bond, 200, Boundary::Torus, 2, 4},
            {Lattice::Cubic, Model::Site, 7, Boundary::Torus, 50, 4},
            {Lattice::Cubic, Model::Site, 64, Boundary::Torus, 2, 2},
            {Lattice::Cubic, Model::Bond, 5, Boundary::Open, 50, 2},
            {Lattice::Cubic, Model::Bond, 8, Boundary::Torus, 50, 4},
        };
        for (const auto& r : rows)
            QTest::addRow("%s %s %s %d", latticeName(r.lattice), modelName(r.model),
                          boundaryName(r.boundary), r.L)
                << Geometry{r.lattice, r.model, r.L, r.boundary} << r.samples << r.variants;
    }

    void variantsGiveTheSameBits()
    {
        QFETCH(Geometry, geometry);
        QFETCH(int, samples);
        QFETCH(int, variants);
        const Totals chosen =
            runSamples({geometry.L, geometry.boundary, 21, 0, std::uint64_t(samples),
                        geometry.lattice, geometry.model},
                       1);
        int ran = 0;
        for (const auto encoding :
             {TorusEncoding::Packed, TorusEncoding::Split16, TorusEncoding::Split32})
            for (const bool portable : {false, true}) {
                const bool open = geometry.boundary == Boundary::Open;
                if (!encodingIsExact(encoding, geometry) ||
                    (open && encoding != TorusEncoding::Split32))
                    continue;
                const Totals t = sweepWith({encoding, portable}, geometry, samples);
                QVERIFY2(
                    sameBits(t, chosen),
                    qPrintable(
                        QString("encoding %1, portable %2").arg(int(encoding)).arg(portable)));
                if (!open)
                    QCOMPARE(Sweep(geometry, {encoding, portable}).encoding(), encoding);
                ++ran;
            }
        QCOMPARE(ran, variants);
    }
};

QTEST_APPLESS_MAIN(PinnedTest)
#include "tst_pinned.moc"
