// The model on its own: the generator's sequence, the known first realisation, hand-made
// lattices with known clusters, and every fast kernel and cluster method bit for bit against the
// straightforward versions.

#include "model/clusters.h"
#include "model/lattice.h"
#include "model/random.h"
#include "straightforward.h"

#include <QTest>

#include <algorithm>
#include <climits>
#include <limits>
#include <random>
#include <vector>

namespace {

using Sites = std::vector<int>;
using model::detail::ClusterMethod;

// Arrays start filled with a marker, so that a write past the meaningful entries shows up.
Sites makeArray()
{
    return Sites(model::SiteCapacity, -7);
}

Sites prefix(const Sites& list, int count)
{
    return Sites(list.begin() + 1, list.begin() + 1 + count);
}

// What a realisation at L may touch, and a margin past it where a stray write would land.
Sites reach(const Sites& list, int L)
{
    return prefix(list, std::min(L * L + 64, model::SiteCapacity - 1));
}

// The words of bits that hold sites 1 … L², the last one's other bits clear.
std::vector<std::uint16_t> wordsOf(const model::SiteBits& bits, int L)
{
    return {bits.words.begin(), bits.words.begin() + (L * L + 15) / 16};
}

void setBitsOf(const Sites& site, int L, model::SiteBits& bits)
{
    bits.words.fill(0xffff);
    std::fill_n(bits.words.begin(), (L * L + 15) / 16, 0);
    for (int s = 1; s <= L * L; ++s)
        bits.words[static_cast<std::size_t>(s - 1) / 16] |=
            static_cast<std::uint16_t>((site[static_cast<std::size_t>(s)] & 1) << (s - 1) % 16);
}

} // namespace

class ModelTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { model::rngState = 1; }

    void generatorIsTheMinimalStandardOne()
    {
        QCOMPARE(model::uniformRandom(), 16806.0 / 2147483646.0);
        QCOMPARE(model::rngState, 16807);
        for (int i = 1; i < 10000; ++i)
            model::uniformRandom();
        QCOMPARE(model::rngState, 1043618065);
        straightforward::Generator schrage;
        schrage.state = model::rngState;
        for (int i = 0; i < 2'000'000; ++i) {
            if (model::uniformRandom() != schrage.next() || model::rngState != schrage.state)
                QFAIL(qPrintable(QStringLiteral("call %1 differs from Schrage's step").arg(i)));
        }
        QCOMPARE(model::deviateOf(2147483646), 0.9999999995343387);
    }

    void firstRealisationIsTheKnownOne()
    {
        Sites site = makeArray(), occupied = makeArray(), largest = makeArray();
        const int n = model::occupySites(0.5, site.data(), occupied.data(), 600);
        QCOMPARE(n, 179834);
        QCOMPARE(prefix(site, 10), (Sites{1, 1, 0, 1, 0, 1, 1, 0, 0, 0}));
        QCOMPARE(prefix(occupied, 5), (Sites{1, 2, 4, 6, 7}));
        QCOMPARE(model::findLargestCluster(site.data(), occupied.data(), largest.data(), n, 600),
                 398);
    }

    // Lattices row by row: '.' empty, '#' occupied, a digit that value in site[]. Only a site's
    // lowest bit counts, and a call out of range returns 0 and writes nothing.
    void smallClusters_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<QString>("lattice");
        QTest::addColumn<Sites>("expectedLargest");
        QTest::newRow("full, in discovery order")
            << 3 << "#########" << Sites{1, 2, 4, 3, 5, 7, 6, 8, 9};
        QTest::newRow("row end and next row start are apart") << 3 << "..##....." << Sites{3};
        QTest::newRow("tie goes to the cluster found first") << 3 << "##.....##" << Sites{1, 2};
        QTest::newRow("later strictly larger cluster wins")
            << 4 << "#.......#...##.." << Sites{9, 13, 14};
        QTest::newRow("single site lattice") << 1 << "#" << Sites{1};
        QTest::newRow("left and right columns never join")
            << 4 << "...##..##..##..." << Sites{4, 8, 12};
        QTest::newRow("top and bottom rows never join")
            << 4 << "###.........####" << Sites{13, 14, 15, 16};
        QTest::newRow("winding cluster, breadth first")
            << 4 << "#.#.###...##..##" << Sites{1, 5, 6, 7, 3, 11, 12, 15, 16};
        QTest::newRow("only the lowest bit counts") << 3 << "3#2922845" << Sites{1, 2, 4};
        // Only the last column of a row past a multiple of 64 holds the winner.
        QString lastColumn(65 * 65, u'.');
        Sites column;
        for (int row = 0; row < 65; ++row)
            lastColumn[65 * row + 64] = u'#', column.push_back(65 * (row + 1));
        lastColumn.replace(0, 3, QStringLiteral("###"));
        QTest::newRow("winner in the last column") << 65 << lastColumn << column;
        // The widest lattice with as many runs in every row as there can be: 300 columns of 600
        // sites, all of one size.
        QString stripes(600 * 600, u'.');
        Sites firstColumn;
        for (int row = 0; row < 600; ++row) {
            for (int stripe = 0; stripe < 600; stripe += 2)
                stripes[600 * row + stripe] = u'#';
            firstColumn.push_back(600 * row + 1);
        }
        QTest::newRow("300 runs in every row") << 600 << stripes << firstColumn;
        for (const int L : {0, 601, INT_MAX, INT_MIN})
            QTest::addRow("L = %d", L) << L << "#" << Sites{};
    }

    // Through the public pass (method -1) and each method on its own.
    void smallClusters()
    {
        QFETCH(int, L);
        QFETCH(QString, lattice);
        QFETCH(Sites, expectedLargest);
        Sites site = makeArray(), occupied = makeArray();
        int n = 0;
        for (int s = 1; s <= lattice.size(); ++s) {
            const QChar c = lattice.at(s - 1);
            site[static_cast<std::size_t>(s)] = c == u'#' ? 1 : c.isDigit() ? c.digitValue() : 0;
            if (site[static_cast<std::size_t>(s)] % 2 == 1)
                occupied[static_cast<std::size_t>(++n)] = s;
        }
        // One workspace for every row, as the widget keeps one across sizes: nothing a lattice
        // leaves in it may reach the next.
        static model::ClusterWorkspace workspace;
        for (const int method : {-1, 0, 1, 2}) {
            Sites largest = makeArray();
            const int size = method < 0
                                 ? model::findLargestCluster(site.data(), occupied.data(),
                                                             largest.data(), n, L, workspace)
                                 : model::detail::findLargestClusterWith(
                                       static_cast<ClusterMethod>(method), site.data(),
                                       occupied.data(), largest.data(), n, L, workspace);
            QCOMPARE(prefix(largest, size), expectedLargest);
            QCOMPARE(largest[expectedLargest.size() + 1], -7);
        }
    }

    void fastPathsAreBitIdentical_data()
    {
        QTest::addColumn<int>("L");
        // Large and small by turns, so that each lattice follows a larger one in the workspace.
        for (const int L : {600, 1, 300, 2, 150, 3, 65, 5, 64, 8, 63, 31, 33})
            QTest::addRow("L=%d", L) << L;
    }

    // Realisations in a row, with jumps anywhere in the stream, by every realisation kernel and
    // then the cluster pass by every method, against the straightforward versions: the counts,
    // the generator state and the whole arrays, so that a write past the meaningful entries
    // shows up too. Every fourth p equals the deviate of one site, which must stay empty.
    void fastPathsAreBitIdentical()
    {
        QFETCH(int, L);
        using model::detail::Kernel;
        // The portable kernel runs everywhere, so that it is always proven here.
        QVERIFY(model::detail::kernelAvailable(Kernel::Portable));
        std::mt19937 random(static_cast<unsigned>(L));
        std::uniform_int_distribution<std::int32_t> anyState(1, 2147483646);
        const double ps[] = {0.0,
                             0.3,
                             0.5,
                             0.55,
                             0.5927,
                             0.62,
                             0.8,
                             0.99,
                             1.0,
                             -0.5,
                             3.0,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::denorm_min()};
        straightforward::Generator reference;
        static model::ClusterWorkspace workspace;
        Sites site = makeArray(), occupied = makeArray(), largest = makeArray();
        Sites expectedSite = makeArray(), expectedOccupied = makeArray();
        Sites expectedLargest = makeArray();
        model::SiteBits bits, expectedBits;
        for (int i = 0; i < std::max(8, 2000 / L); ++i) {
            if (i % 5 == 0)
                reference.state = anyState(random);
            double p = i % 2 ? std::uniform_real_distribution<double>(0, 1)(random)
                             : ps[static_cast<std::size_t>(i / 2) % std::size(ps)];
            if (i % 4 == 3) {
                straightforward::Generator peek = reference;
                for (int k = 0; k <= i % (L * L); ++k)
                    p = peek.next();
            }
            const std::int32_t state = reference.state;
            const int n = straightforward::occupySites(reference, p, expectedSite.data(),
                                                       expectedOccupied.data(), L);
            setBitsOf(expectedSite, L, expectedBits);
            // Every kernel realises with and without bits, and packs site[] into bits.
            for (const Kernel kernel : {Kernel::Portable, Kernel::Avx2, Kernel::Avx512}) {
                if (!model::detail::kernelAvailable(kernel))
                    continue;
                const auto name = qPrintable(
                    QStringLiteral("kernel %1, p = %2").arg(static_cast<int>(kernel)).arg(p));
                model::rngState = state;
                bits.words.fill(0xffff);
                QCOMPARE(model::detail::occupySitesWith(kernel, p, site.data(), occupied.data(), L,
                                                        i % 2 ? &bits : nullptr),
                         n);
                QCOMPARE(model::rngState, reference.state);
                QVERIFY2(reach(site, L) == reach(expectedSite, L) &&
                             reach(occupied, L) == reach(expectedOccupied, L),
                         name);
                QVERIFY2(i % 2 == 0 || wordsOf(bits, L) == wordsOf(expectedBits, L), name);
                bits.words.fill(0xffff);
                model::detail::packSitesWith(kernel, site.data(), L, bits);
                QVERIFY2(wordsOf(bits, L) == wordsOf(expectedBits, L), name);
            }
            const int size = straightforward::findLargestCluster(site.data(), occupied.data(),
                                                                 expectedLargest.data(), n, L);
            // Every method from site[] and from the bits, the bits' words past the lattice set.
            for (const auto method :
                 {ClusterMethod::Growth, ClusterMethod::Runs, ClusterMethod::PortableRuns}) {
                for (const bool fromBits : {false, true}) {
                    QCOMPARE(fromBits ? model::detail::findLargestClusterWith(
                                            method, expectedBits, largest.data(), n, L, workspace)
                                      : model::detail::findLargestClusterWith(
                                            method, site.data(), occupied.data(), largest.data(),
                                            n, L, workspace),
                             size);
                    QVERIFY2(reach(largest, L) == reach(expectedLargest, L),
                             qPrintable(QStringLiteral("method %1 from %2, p = %3")
                                            .arg(static_cast<int>(method))
                                            .arg(fromBits ? "bits" : "sites")
                                            .arg(p)));
                }
                QVERIFY(reach(site, L) == reach(expectedSite, L) &&
                        reach(occupied, L) == reach(expectedOccupied, L));
            }
        }
    }
};

QTEST_APPLESS_MAIN(ModelTest)
#include "tst_model.moc"
