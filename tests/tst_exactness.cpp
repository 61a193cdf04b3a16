// The program's realisation, cluster pass and picture against the straightforward versions:
// many random realisations at several p and L, compared bit for bit (generator state, site
// array, occupied list, largest cluster in discovery order, both counts) and pixel for pixel.

#include "model/clusters.h"
#include "model/lattice.h"
#include "model/random.h"
#include "straightforward.h"
#include "straightforwardpicture.h"
#include "view/latticepicture.h"
#include "view/percolation.h"

#include <QApplication>
#include <QImage>
#include <QTest>

#include <algorithm>
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
        const double ps[] = {0.0, 0.05, 0.3, 0.5, 0.5927, 0.75, 0.99, 1.0, -0.5, 3.0};
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

    void widgetCommandsAreBitIdentical()
    {
        // The widget realises its first lattice from the generator's starting state.
        model::rngState = 1;
        Percolation widget;
        straightforward::Generator reference;
        double p = 0.5;
        int L = 600;
        bool isolate = false;
        Array site = makeArray(), occupied = makeArray(), largest = makeArray();
        int n = straightforward::occupySites(reference, p, site.data(), occupied.data(), L);
        int size = straightforward::findLargestCluster(site.data(), occupied.data(),
                                                       largest.data(), n, L);
        std::vector<std::pair<int, int>> announced;
        connect(&widget, &Percolation::largestChanged, this,
                [&](int value) { announced.emplace_back(0, value); });
        connect(&widget, &Percolation::sizeChanged, this,
                [&](int value) { announced.emplace_back(1, value); });

        std::mt19937 random(2024);
        for (int command = 0; command < 60; ++command) {
            if (command > 0) {
                announced.clear();
                const int kind = std::uniform_int_distribution<int>(0, 5)(random);
                if (kind == 4) {
                    isolate = !isolate;
                    widget.slotIsolate(isolate);
                    QVERIFY(announced.empty());
                    continue;
                }
                if (kind == 5) {
                    const double choices[] = {0.3, 0.5, 0.5927, 0.65, 0.9};
                    p = choices[std::uniform_int_distribution<std::size_t>(0, 4)(random)];
                    widget.pChanged(p);
                    QVERIFY(announced.empty());
                }
                switch (kind) {
                case 1:
                    L = 600;
                    widget.startL600();
                    break;
                case 2:
                    L = 300;
                    widget.startL300();
                    break;
                case 3:
                    L = 150;
                    widget.startL150();
                    break;
                default:
                    widget.startNew();
                    break;
                }
                n = straightforward::occupySites(reference, p, site.data(), occupied.data(), L);
                size = straightforward::findLargestCluster(site.data(), occupied.data(),
                                                           largest.data(), n, L);
                QCOMPARE(announced, (std::vector<std::pair<int, int>>{{0, size}, {1, L}}));
            }
            QCOMPARE(widget.systemSize(), L);
            QCOMPARE(widget.occupiedCount(), n);
            QCOMPARE(widget.largestClusterSize(), size);
            QCOMPARE(model::rngState, reference.state);
            QVERIFY(std::equal(site.begin() + 1, site.begin() + L * L + 1,
                               widget.siteArray() + 1));
            QVERIFY(std::equal(occupied.begin() + 1, occupied.begin() + n + 1,
                               widget.occupiedList() + 1));
            QVERIFY(std::equal(largest.begin() + 1, largest.begin() + size + 1,
                               widget.largestList() + 1));
            const QImage expected =
                straightforward::drawPicture(L, isolate, occupied.data(), n, largest.data(),
                                             size)
                    .toImage();
            const QString difference = firstDifference(widget.composePicture(), expected);
            QVERIFY2(difference.isEmpty(),
                     qPrintable(QStringLiteral("command %1: %2").arg(command).arg(difference)));
        }
    }
};

QTEST_MAIN(ExactnessTest)
#include "tst_exactness.moc"
