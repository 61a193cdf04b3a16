// The model on its own: the generator's sequence, the known first realisation, hand-made
// lattices with known clusters, and every fast kernel and cluster method bit for bit against the
// straightforward versions, with an independent union–find labelling as a second opinion.

#include "model/clusters.h"
#include "model/lattice.h"
#include "model/random.h"
#include "straightforward.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Sites = std::vector<int>;

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

// Occupies exactly the given sites (in increasing order), as a realisation would have.
int layOut(const Sites& chosen, int L, Sites& site, Sites& occupied)
{
    std::fill(site.begin() + 1, site.begin() + L * L + 1, 0);
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        site[static_cast<std::size_t>(chosen[i])] = 1;
        occupied[i + 1] = chosen[i];
    }
    return static_cast<int>(chosen.size());
}

// Union–find over the right and down bonds, keeping the lower site as the root. Returns the
// largest cluster's size and, of the largest ones, the lowest root: the winner's first site.
std::pair<int, int> labelWithUnionFind(const Sites& site, int L)
{
    std::vector<int> parent(static_cast<std::size_t>(L * L) + 1);
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int x) {
        while (parent[static_cast<std::size_t>(x)] != x)
            x = parent[static_cast<std::size_t>(x)];
        return x;
    };
    auto occupied = [&](int s) { return site[static_cast<std::size_t>(s)] == 1; };
    for (int s = 1; s <= L * L; ++s) {
        for (const int neighbour : {s % L != 0 ? s + 1 : 0, s + L <= L * L ? s + L : 0}) {
            if (neighbour != 0 && occupied(s) && occupied(neighbour)) {
                const int a = find(s), b = find(neighbour);
                parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
            }
        }
    }
    std::vector<int> size(parent.size(), 0);
    std::pair<int, int> best{0, 0};
    for (int s = 1; s <= L * L; ++s)
        if (occupied(s))
            ++size[static_cast<std::size_t>(find(s))];
    for (int root = 1; root <= L * L; ++root)
        if (size[static_cast<std::size_t>(root)] > best.first)
            best = {size[static_cast<std::size_t>(root)], root};
    return best;
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
        QCOMPARE(model::uniformRandom(), 0.13153778773875702);
        QCOMPARE(model::rngState, 282475249);
        QCOMPARE(model::uniformRandom(), 0.7556053220812281);
        QCOMPARE(model::rngState, 1622650073);
        for (int i = 3; i < 10000; ++i)
            model::uniformRandom();
        QCOMPARE(model::rngState, 1043618065);

        straightforward::Generator schrage;
        schrage.state = model::rngState;
        for (int i = 0; i < 2'000'000; ++i) {
            if (model::uniformRandom() != schrage.next() || model::rngState != schrage.state)
                QFAIL(qPrintable(QStringLiteral("call %1 differs from Schrage's step").arg(i)));
        }
        QCOMPARE(model::deviateOf(1), 0.0);
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

    void siteWhoseDeviateEqualsPStaysEmpty()
    {
        straightforward::Generator reference;
        double fifth = 0;
        for (int i = 0; i < 5; ++i)
            fifth = reference.next();
        for (const auto& [p, occupied] : {std::pair{fifth, 0}, {std::nextafter(fifth, 2.0), 1}}) {
            model::rngState = 1;
            Sites site = makeArray(), list = makeArray();
            model::occupySites(p, site.data(), list.data(), 3);
            QCOMPARE(site[5], occupied);
        }
    }

    void extremeProbabilities_data()
    {
        QTest::addColumn<double>("p");
        QTest::addColumn<int>("expected");
        QTest::newRow("0") << 0.0 << 0;
        QTest::newRow("-1") << -1.0 << 0;
        QTest::newRow("1") << 1.0 << 22500;
        QTest::newRow("1.5") << 1.5 << 22500;
    }

    void extremeProbabilities()
    {
        QFETCH(double, p);
        QFETCH(int, expected);
        Sites site = makeArray(), occupied = makeArray(), largest = makeArray();
        const int n = model::occupySites(p, site.data(), occupied.data(), 150);
        QCOMPARE(n, expected);
        QCOMPARE(model::rngState, 827287233); // 22500 steps on, whatever p is
        QCOMPARE(std::count(site.begin() + 1, site.begin() + 22501, expected ? 1 : 0), 22500L);
        const int size =
            model::findLargestCluster(site.data(), occupied.data(), largest.data(), n, 150);
        QCOMPARE(size, expected);
        if (expected == 0)
            QCOMPARE(largest, makeArray()); // not written at all
        else
            QCOMPARE(prefix(largest, 5), (Sites{1, 2, 151, 3, 152}));
    }

    void smallClusters_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<Sites>("occupiedSites");
        QTest::addColumn<Sites>("expectedLargest");
        QTest::newRow("full 3x3 in discovery order")
            << 3 << Sites{1, 2, 3, 4, 5, 6, 7, 8, 9} << Sites{1, 2, 4, 3, 5, 7, 6, 8, 9};
        QTest::newRow("row end and next row start are apart") << 3 << Sites{3, 4} << Sites{3};
        QTest::newRow("tie goes to the cluster found first")
            << 3 << Sites{1, 2, 8, 9} << Sites{1, 2};
        QTest::newRow("later strictly larger cluster wins")
            << 4 << Sites{1, 9, 13, 14} << Sites{9, 13, 14};
        QTest::newRow("single site lattice") << 1 << Sites{1} << Sites{1};
        QTest::newRow("left and right columns never join")
            << 4 << Sites{4, 5, 8, 9, 12, 13} << Sites{4, 8, 12};
        QTest::newRow("top and bottom rows never join")
            << 4 << Sites{1, 2, 3, 13, 14, 15, 16} << Sites{13, 14, 15, 16};
        QTest::newRow("winding cluster, breadth first")
            << 4 << Sites{1, 3, 5, 6, 7, 11, 12, 15, 16} << Sites{1, 5, 6, 7, 3, 11, 12, 15, 16};
    }

    void smallClusters()
    {
        QFETCH(int, L);
        QFETCH(Sites, occupiedSites);
        QFETCH(Sites, expectedLargest);
        Sites site = makeArray(), occupied = makeArray(), largest = makeArray();
        const int n = layOut(occupiedSites, L, site, occupied);
        const int size =
            model::findLargestCluster(site.data(), occupied.data(), largest.data(), n, L);
        QCOMPARE(prefix(largest, size), expectedLargest);
        QCOMPARE(largest[expectedLargest.size() + 1], -7);
    }

    void realisationKernelsAreBitIdentical_data()
    {
        QTest::addColumn<model::detail::Kernel>("kernel");
        QTest::addColumn<int>("L");
        using model::detail::Kernel;
        for (const auto& [kernel, name] : {std::pair{Kernel::Portable, "portable"},
                                           {Kernel::Avx2, "avx2"}, {Kernel::Avx512, "avx512"}})
            for (const int L : {1, 5, 31, 33, 64, 150, 300, 600})
                QTest::addRow("%s L=%d", name, L) << kernel << L;
    }

    // Realisations in a row, with jumps anywhere in the stream: the counts, the generator state
    // and the whole arrays, so that a write past the meaningful entries shows up too.
    void realisationKernelsAreBitIdentical()
    {
        QFETCH(model::detail::Kernel, kernel);
        QFETCH(int, L);
        if (!model::detail::kernelAvailable(kernel))
            QSKIP("this processor lacks the kernel's instructions");
        std::mt19937 random(static_cast<unsigned>(L));
        std::uniform_int_distribution<std::int32_t> anyState(1, 2147483646);
        const double ps[] = {0.0, 0.3, 0.5, 0.5927, 0.99, 1.0, -0.5, 3.0,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::denorm_min()};
        straightforward::Generator reference;
        Sites site = makeArray(), occupied = makeArray();
        Sites expectedSite = makeArray(), expectedOccupied = makeArray();
        for (int i = 0; i < std::max(4, 2000 / L); ++i) {
            if (i % 5 == 0)
                model::rngState = reference.state = anyState(random);
            const double p = i % 2 ? std::uniform_real_distribution<double>(0, 1)(random)
                                   : ps[static_cast<std::size_t>(i / 2) % std::size(ps)];
            QCOMPARE(model::detail::occupySitesWith(kernel, p, site.data(), occupied.data(), L),
                     straightforward::occupySites(reference, p, expectedSite.data(),
                                                  expectedOccupied.data(), L));
            QCOMPARE(model::rngState, reference.state);
            QVERIFY2(reach(site, L) == reach(expectedSite, L) &&
                         reach(occupied, L) == reach(expectedOccupied, L),
                     qPrintable(QStringLiteral("p = %1").arg(p)));
        }
    }

    void clusterMethodsAreBitIdentical_data()
    {
        QTest::addColumn<model::detail::ClusterMethod>("method");
        QTest::addColumn<int>("L");
        using model::detail::ClusterMethod;
        for (const auto& [method, name] :
             {std::pair{ClusterMethod::Growth, "growth"}, {ClusterMethod::Runs, "runs"},
              {ClusterMethod::PortableRuns, "portable runs"}})
            for (const int L : {1, 2, 3, 5, 8, 63, 64, 65, 150, 300, 600})
                QTest::addRow("%s L=%d", name, L) << method << L;
    }

    // The largest cluster in discovery order against the straightforward pass, and its size and
    // first site against the union–find labelling.
    void clusterMethodsAreBitIdentical()
    {
        QFETCH(model::detail::ClusterMethod, method);
        QFETCH(int, L);
        std::mt19937 random(static_cast<unsigned>(77 + L));
        const double ps[] = {0.0, 0.2, 0.5, 0.55, 0.5927, 0.62, 0.8, 1.0};
        straightforward::Generator generator;
        model::ClusterWorkspace workspace;
        Sites site = makeArray(), occupied = makeArray();
        Sites largest = makeArray(), expectedLargest = makeArray();
        for (int i = 0; i < std::max(6, 600 / L); ++i) {
            const double p = i % 2 ? std::uniform_real_distribution<double>(0, 1)(random)
                                   : ps[static_cast<std::size_t>(i / 2) % std::size(ps)];
            const int n =
                straightforward::occupySites(generator, p, site.data(), occupied.data(), L);
            const Sites siteBefore = reach(site, L), occupiedBefore = reach(occupied, L);
            const int size = model::detail::findLargestClusterWith(
                method, site.data(), occupied.data(), largest.data(), n, L, workspace);
            QCOMPARE(size, straightforward::findLargestCluster(site.data(), occupied.data(),
                                                               expectedLargest.data(), n, L));
            QVERIFY2(reach(largest, L) == reach(expectedLargest, L),
                     qPrintable(QStringLiteral("p = %1").arg(p)));
            QVERIFY(reach(site, L) == siteBefore && reach(occupied, L) == occupiedBefore);
            const auto [unionFindSize, firstSite] = labelWithUnionFind(site, L);
            QCOMPARE(size, unionFindSize);
            if (size > 0)
                QCOMPARE(largest[1], firstSite);
        }
    }
};

QTEST_APPLESS_MAIN(ModelTest)
#include "tst_model.moc"
