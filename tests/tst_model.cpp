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

using model::SiteCapacity;

namespace {

using Sites = std::vector<int>;

Sites makeArray(int fill = -7)
{
    return Sites(SiteCapacity, fill);
}

// Occupies exactly the given sites, as a realisation would have.
int layOut(const Sites& chosen, int L, Sites& site, Sites& occupied)
{
    std::fill(site.begin() + 1, site.begin() + L * L + 1, 0);
    Sites sorted = chosen;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        site[static_cast<std::size_t>(sorted[i])] = 1;
        occupied[i + 1] = sorted[i];
    }
    return static_cast<int>(sorted.size());
}

// An independent labelling: union–find over the right and down bonds. Returns the size of the
// largest cluster and, among the largest clusters, the lowest site of the one whose lowest site
// is lowest (the one the cluster pass must report).
struct Labelling
{
    int largestSize = 0;
    int lowestSiteOfWinner = 0;
};

Labelling labelWithUnionFind(const Sites& site, int L)
{
    const int n = L * L;
    std::vector<int> parent(static_cast<std::size_t>(n) + 1);
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int x) {
        while (parent[static_cast<std::size_t>(x)] != x) {
            auto& up = parent[static_cast<std::size_t>(x)];
            up = parent[static_cast<std::size_t>(up)];
            x = up;
        }
        return x;
    };
    auto join = [&](int a, int b) {
        a = find(a);
        b = find(b);
        if (a != b)
            parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
    };
    auto at = [&](int row, int column) { return row * L + column + 1; };
    for (int row = 0; row < L; ++row) {
        for (int column = 0; column < L; ++column) {
            const int s = at(row, column);
            if (!site[static_cast<std::size_t>(s)])
                continue;
            if (column + 1 < L && site[static_cast<std::size_t>(s + 1)])
                join(s, s + 1);
            if (row + 1 < L && site[static_cast<std::size_t>(s + L)])
                join(s, s + L);
        }
    }
    // With the smaller root kept, every root is its cluster's lowest site.
    std::vector<int> size(static_cast<std::size_t>(n) + 1, 0);
    for (int s = 1; s <= n; ++s)
        if (site[static_cast<std::size_t>(s)])
            ++size[static_cast<std::size_t>(find(s))];
    Labelling result;
    for (int root = 1; root <= n; ++root) {
        if (size[static_cast<std::size_t>(root)] > result.largestSize) {
            result.largestSize = size[static_cast<std::size_t>(root)];
            result.lowestSiteOfWinner = root;
        }
    }
    return result;
}

Sites prefix(const Sites& list, int count)
{
    return Sites(list.begin() + 1, list.begin() + 1 + count);
}

} // namespace

class ModelTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { model::rngState = 1; }

    void generatorStartsWithTheMinimalStandardSequence()
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
    }

    void generatorMatchesSchrageStepBitForBit()
    {
        straightforward::Generator reference;
        for (int i = 0; i < 2'000'000; ++i) {
            const double expected = reference.next();
            const double actual = model::uniformRandom();
            if (actual != expected || model::rngState != reference.state)
                QFAIL(qPrintable(QStringLiteral("call %1 differs").arg(i)));
            QVERIFY(actual >= 0.0 && actual < 1.0);
        }
    }

    void deviateIsZeroOnlyAtStateOneAndNeverReachesOne()
    {
        QCOMPARE(model::deviateOf(1), 0.0);
        QVERIFY(model::deviateOf(2) > 0.0);
        QCOMPARE(model::deviateOf(2147483646), 0.9999999995343387);
        QVERIFY(model::deviateOf(2147483646) < 1.0);
        // The stored reciprocal, not a division: the two differ in the last bit for some states.
        QCOMPARE(model::DeviateScale, 4.656612877414201e-10);
    }

    void firstRealisationIsTheKnownOne()
    {
        Sites site = makeArray(), occupied = makeArray(), largest = makeArray();
        const int n = model::occupySites(0.5, site.data(), occupied.data(), 600);
        QCOMPARE(n, 179834);
        QCOMPARE(prefix(occupied, 5), (Sites{1, 2, 4, 6, 7}));
        QCOMPARE(occupied[6] > 10, true);
        QCOMPARE(Sites(site.begin() + 1, site.begin() + 11), (Sites{1, 1, 0, 1, 0, 1, 1, 0, 0, 0}));
        QCOMPARE(model::findLargestCluster(site.data(), occupied.data(), largest.data(), n, 600),
                 398);
    }

    void pEqualToADeviateLeavesThatSiteEmpty()
    {
        // The comparison is strict: a site whose deviate equals p stays empty, and the next
        // double above p occupies it.
        straightforward::Generator reference;
        double deviate = 0;
        for (int i = 0; i < 5; ++i)
            deviate = reference.next();
        for (const auto& [p, fifthOccupied] :
             {std::pair{deviate, 0}, std::pair{std::nextafter(deviate, 2.0), 1}}) {
            model::rngState = 1;
            Sites site = makeArray(), occupied = makeArray();
            model::occupySites(p, site.data(), occupied.data(), 3);
            QCOMPARE(site[5], fifthOccupied);
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
        straightforward::Generator reference;
        for (int i = 0; i < 22500; ++i)
            reference.next();
        QCOMPARE(model::rngState, reference.state);
        for (int s = 1; s <= 22500; ++s)
            QCOMPARE(site[static_cast<std::size_t>(s)], expected ? 1 : 0);
        if (expected)
            for (int s = 1; s <= 22500; ++s)
                QCOMPARE(occupied[static_cast<std::size_t>(s)], s);
        QCOMPARE(occupied[22501], -7);

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
        QTest::newRow("single site") << 5 << Sites{13} << Sites{13};
        QTest::newRow("single site lattice") << 1 << Sites{1} << Sites{1};
        QTest::newRow("left and right columns never join")
            << 4 << Sites{4, 5, 8, 9, 12, 13} << Sites{4, 8, 12};
        QTest::newRow("top and bottom rows never join")
            << 4 << Sites{1, 2, 3, 13, 14, 15, 16} << Sites{13, 14, 15, 16};
        QTest::newRow("corner to corner does not wrap")
            << 3 << Sites{1, 9, 3, 7} << Sites{1};
        QTest::newRow("winding cluster, breadth first")
            << 4 << Sites{1, 5, 6, 7, 3, 11, 15, 16, 12}
            << Sites{1, 5, 6, 7, 3, 11, 12, 15, 16};
    }

    void smallClusters()
    {
        QFETCH(int, L);
        QFETCH(Sites, occupiedSites);
        QFETCH(Sites, expectedLargest);
        Sites site = makeArray(), occupied = makeArray(), largest = makeArray();
        const int n = layOut(occupiedSites, L, site, occupied);
        const Sites siteBefore = site, occupiedBefore = occupied;
        const int size =
            model::findLargestCluster(site.data(), occupied.data(), largest.data(), n, L);
        QCOMPARE(size, static_cast<int>(expectedLargest.size()));
        QCOMPARE(prefix(largest, size), expectedLargest);
        QCOMPARE(largest[static_cast<std::size_t>(size) + 1], -7);
        QCOMPARE(site, siteBefore);
        QCOMPARE(occupied, occupiedBefore);
    }

    void randomLatticesAgreeWithIndependentLabelling_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<double>("p");
        QTest::addColumn<int>("lattices");
        for (const int L : {1, 2, 3, 4, 5, 8, 13, 32})
            QTest::addRow("L=%d", L) << L << -1.0 << 300;
        for (const double p : {0.3, 0.5, 0.5927, 0.65, 0.8})
            QTest::addRow("L=150 p=%g", p) << 150 << p << 6;
        QTest::newRow("L=600 p=0.5927") << 600 << 0.5927 << 2;
    }

    void randomLatticesAgreeWithIndependentLabelling()
    {
        QFETCH(int, L);
        QFETCH(double, p);
        QFETCH(int, lattices);
        std::mt19937 random(static_cast<unsigned>(L * 7919));
        std::uniform_real_distribution<double> anyP(0.0, 1.0);
        model::ClusterWorkspace workspace;
        for (int lattice = 0; lattice < lattices; ++lattice) {
            const double probability = p < 0 ? anyP(random) : p;
            Sites site = makeArray(), occupied = makeArray();
            Sites largest = makeArray(), expectedLargest = makeArray();
            std::bernoulli_distribution occupy(probability);
            Sites chosen;
            for (int s = 1; s <= L * L; ++s)
                if (occupy(random))
                    chosen.push_back(s);
            const int n = layOut(chosen, L, site, occupied);

            const Labelling labelling = labelWithUnionFind(site, L);
            const int size = model::findLargestCluster(site.data(), occupied.data(),
                                                       largest.data(), n, L, workspace);
            QCOMPARE(size, labelling.largestSize);
            if (size > 0)
                QCOMPARE(largest[1], labelling.lowestSiteOfWinner);

            const int expected = straightforward::findLargestCluster(
                site.data(), occupied.data(), expectedLargest.data(), n, L);
            QCOMPARE(size, expected);
            QCOMPARE(largest, expectedLargest);
        }
    }
};

QTEST_APPLESS_MAIN(ModelTest)
#include "tst_model.moc"
