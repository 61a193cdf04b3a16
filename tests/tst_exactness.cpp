// The program's realisation, cluster pass and picture against the straightforward versions:
// many random realisations at several p and L, compared bit for bit (generator state, site
// array, occupied list, largest cluster in discovery order, both counts) and pixel for pixel.
// The widget's own commands are checked against the same versions in the lattice widget test.

#include "model/clusters.h"
#include "model/lattice.h"
#include "model/random.h"
#include "straightforward.h"
#include "straightforwardpicture.h"
#include "view/latticepicture.h"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

using model::SiteCapacity;

namespace {

using Array = std::vector<int>;

// Arrays start filled with a marker, so that a write past the meaningful entries shows up.
Array makeArray()
{
    return Array(static_cast<std::size_t>(SiteCapacity), -7);
}

QString describeKernel(model::detail::Kernel kernel)
{
    switch (kernel) {
    case model::detail::Kernel::Avx512:
        return QStringLiteral("avx512");
    case model::detail::Kernel::Avx2:
        return QStringLiteral("avx2");
    default:
        return QStringLiteral("portable");
    }
}

// The first pixel where two pictures differ, or an empty string.
QString firstDifference(const QImage& actual, const QImage& expected)
{
    const QImage a = actual.convertToFormat(QImage::Format_RGB32);
    const QImage e = expected.convertToFormat(QImage::Format_RGB32);
    if (a.size() != e.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != e.pixel(x, y))
                return QStringLiteral("pixel (%1, %2): %3 instead of %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(e.pixel(x, y), 8, 16);
    return {};
}

} // namespace

class ExactnessTest : public QObject
{
    Q_OBJECT

private slots:
    void realisationsAreBitIdentical_data()
    {
        QTest::addColumn<int>("kernel");
        QTest::addColumn<int>("L");
        QTest::addColumn<int>("realisations");
        for (const auto kernel : {model::detail::Kernel::Portable, model::detail::Kernel::Avx2,
                                  model::detail::Kernel::Avx512}) {
            for (const auto& [L, count] : {std::pair{1, 40}, std::pair{5, 40}, std::pair{31, 40},
                                           std::pair{33, 40}, std::pair{64, 20},
                                           std::pair{150, 20}, std::pair{300, 8},
                                           std::pair{600, 4}}) {
                QTest::addRow("%s L=%d", qPrintable(describeKernel(kernel)), L)
                    << static_cast<int>(kernel) << L << count;
            }
        }
    }

    void realisationsAreBitIdentical()
    {
        QFETCH(int, kernel);
        QFETCH(int, L);
        QFETCH(int, realisations);
        const auto chosen = static_cast<model::detail::Kernel>(kernel);
        if (!model::detail::kernelAvailable(chosen))
            QSKIP("this processor lacks the kernel's instructions");

        std::mt19937 random(static_cast<unsigned>(1000 + L * 31 + kernel));
        std::uniform_int_distribution<std::int32_t> anyState(1, 2147483646);
        const double ps[] = {0.0, 0.05, 0.3, 0.5, 0.5927, 0.75, 0.99, 1.0, -0.5, 3.0,
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::denorm_min()};
        straightforward::Generator reference;
        reference.state = anyState(random);
        model::rngState = reference.state;
        Array site = makeArray(), occupied = makeArray();
        Array expectedSite = makeArray(), expectedOccupied = makeArray();
        for (int i = 0; i < realisations; ++i) {
            // Realisations follow each other, with an occasional jump to anywhere in the stream.
            if (i % 5 == 4) {
                reference.state = anyState(random);
                model::rngState = reference.state;
            }
            const double p = i % 3 == 0 ? ps[static_cast<std::size_t>(i / 3) % std::size(ps)]
                                        : std::uniform_real_distribution<double>(0, 1)(random);
            const int expected = straightforward::occupySites(reference, p, expectedSite.data(),
                                                              expectedOccupied.data(), L);
            const int n = model::detail::occupySitesWith(chosen, p, site.data(),
                                                         occupied.data(), L);
            QCOMPARE(n, expected);
            QCOMPARE(model::rngState, reference.state);
            QVERIFY2(site == expectedSite, qPrintable(QStringLiteral("site, p = %1").arg(p)));
            QVERIFY2(occupied == expectedOccupied,
                     qPrintable(QStringLiteral("occupied, p = %1").arg(p)));
        }
    }

    void clusterMethodsAreBitIdentical_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("L");
        QTest::addColumn<int>("realisations");
        using model::detail::ClusterMethod;
        for (const auto& [method, name] :
             {std::pair{ClusterMethod::Growth, "growth"}, std::pair{ClusterMethod::Runs, "runs"},
              std::pair{ClusterMethod::PortableRuns, "portable runs"}}) {
            for (const auto& [L, count] :
                 {std::pair{1, 30}, std::pair{2, 30}, std::pair{3, 60}, std::pair{7, 60},
                  std::pair{63, 30}, std::pair{64, 30}, std::pair{65, 30}, std::pair{130, 20},
                  std::pair{150, 24}, std::pair{300, 10}, std::pair{600, 6}}) {
                QTest::addRow("%s L=%d", name, L) << static_cast<int>(method) << L << count;
            }
        }
    }

    void clusterMethodsAreBitIdentical()
    {
        QFETCH(int, method);
        QFETCH(int, L);
        QFETCH(int, realisations);
        const auto chosen = static_cast<model::detail::ClusterMethod>(method);
        std::mt19937 random(static_cast<unsigned>(77 + L * 13 + method));
        const double ps[] = {0.0, 0.2, 0.5, 0.55, 0.5927, 0.62, 0.8, 1.0};
        straightforward::Generator generator;
        generator.state = std::uniform_int_distribution<std::int32_t>(1, 2147483646)(random);
        model::ClusterWorkspace workspace;
        Array site = makeArray(), occupied = makeArray();
        Array largest = makeArray(), expectedLargest = makeArray();
        for (int i = 0; i < realisations; ++i) {
            const double p = i % 2 == 0 ? ps[static_cast<std::size_t>(i / 2) % std::size(ps)]
                                        : std::uniform_real_distribution<double>(0, 1)(random);
            const int n = straightforward::occupySites(generator, p, site.data(),
                                                       occupied.data(), L);
            const Array siteBefore = site, occupiedBefore = occupied;
            const int expected = straightforward::findLargestCluster(
                site.data(), occupied.data(), expectedLargest.data(), n, L);
            const int size = model::detail::findLargestClusterWith(
                chosen, site.data(), occupied.data(), largest.data(), n, L, workspace);
            QCOMPARE(size, expected);
            // The whole array: the cluster in discovery order, and nothing written past it.
            QVERIFY2(largest == expectedLargest,
                     qPrintable(QStringLiteral("largest, p = %1").arg(p)));
            QVERIFY(site == siteBefore);
            QVERIFY(occupied == occupiedBefore);
        }
    }

    void composedPictureMatchesOnePainterCallPerSite_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<bool>("isolate");
        for (const int L : {150, 300, 600, 200, 1})
            for (const bool isolate : {false, true})
                QTest::addRow("L=%d isolate=%d", L, isolate) << L << isolate;
    }

    void composedPictureMatchesOnePainterCallPerSite()
    {
        QFETCH(int, L);
        QFETCH(bool, isolate);
        straightforward::Generator generator;
        generator.state = 4242 + L;
        QImage image = lattice_picture::makeImage();
        Array site = makeArray(), occupied = makeArray(), largest = makeArray();
        for (const double p : {0.0, 0.3, 0.5927, 0.7, 1.0}) {
            const int n = straightforward::occupySites(generator, p, site.data(),
                                                       occupied.data(), L);
            const int size = straightforward::findLargestCluster(site.data(), occupied.data(),
                                                                 largest.data(), n, L);
            lattice_picture::compose(image, L, isolate, occupied.data(), n, largest.data(),
                                     size);
            const QImage expected =
                straightforward::drawPicture(L, isolate, occupied.data(), n, largest.data(),
                                             size)
                    .toImage();
            const QString difference = firstDifference(image, expected);
            QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("p = %1: %2")
                                                          .arg(p)
                                                          .arg(difference)));
        }
    }
};

QTEST_MAIN(ExactnessTest)
#include "tst_exactness.moc"
