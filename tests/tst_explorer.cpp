// The explorer of the transition: its pictures and values against a lattice worked out from
// scratch at each p, occupation that only grows with p, its keys and sweep, and the lattice
// window's generator left alone.

#include "app/explorerwindow.h"
#include "model/random.h"
#include "straightforward_explorer.h"
#include "view/explorerpicture.h"
#include "view/latticepicture.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <algorithm>
#include <memory>
#include <set>

namespace {

// The picture and values that the window should show, from the straightforward recomputation.
struct Expected
{
    QImage picture = lattice_picture::makeImage();
    int clusters = 0;
    int largest = 0;
    bool spans = false;
};

Expected expected(int L, std::uint64_t seed, double p, explorer_picture::Style style)
{
    Expected e;
    const int k = lattice_picture::Side / L;
    std::set<int> clusters;
    const auto sites = straightforward::exploreAt(L, seed, p);
    for (int s = 0; s < L * L; ++s) {
        const auto& site = sites[std::size_t(s)];
        if (site.oldestSite >= 0)
            clusters.insert(site.oldestSite);
        e.largest += site.largest;
        e.spans |= site.spans;
        const QRgb colour = explorer_picture::siteColour(site.oldestSite >= 0, site.oldestSite,
                                                         site.largest, site.spans, style);
        for (int y = 0; y < k; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(e.picture.scanLine(k * (s / L) + y)) + k * (s % L),
                        k, colour);
    }
    e.clusters = int(clusters.size());
    return e;
}

} // namespace

class ExplorerTest : public QObject
{
    Q_OBJECT

    static constexpr std::int32_t LatticeState = 123456789;
    std::unique_ptr<ExplorerWindow> window;

    template <typename T> T* child(const char* name) const
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QString value(const char* name) const { return child<QLabel>(name)->text(); }

private slots:
    void init()
    {
        model::rngState = LatticeState;
        window = std::make_unique<ExplorerWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    // Nothing here may draw from the lattice window's generator.
    void cleanup()
    {
        window.reset();
        QCOMPARE(model::rngState, LatticeState);
    }

    // Reached by the size buttons, the slider, "New lattice" (clicks) and the check boxes.
    void pictures_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<int>("newLattices");
        QTest::addColumn<double>("p");
        QTest::addColumn<bool>("everyCluster");
        QTest::addColumn<bool>("spanningOnly");
        QTest::newRow("150, empty") << 150 << 0 << 0.0 << false << false;
        QTest::newRow("150, below pc") << 150 << 0 << 0.45 << true << false;
        QTest::newRow("150, near pc") << 150 << 1 << 0.5927 << false << false;
        QTest::newRow("150, spanning") << 150 << 2 << 0.6 << true << true;
        QTest::newRow("150, full") << 150 << 0 << 1.0 << false << false;
        QTest::newRow("300, every cluster") << 300 << 0 << 0.58 << true << false;
        QTest::newRow("300, only spanning") << 300 << 3 << 0.61 << false << true;
        QTest::newRow("600, near pc") << 600 << 0 << 0.5931 << true << false;
        QTest::newRow("600, above pc") << 600 << 1 << 0.7 << false << true;
    }
    void pictures()
    {
        QFETCH(int, L);
        QFETCH(int, newLattices);
        QFETCH(double, p);
        QFETCH(bool, everyCluster);
        QFETCH(bool, spanningOnly);
        QTest::mouseClick(child<QRadioButton>(qPrintable(QStringLiteral("side%1Button").arg(L))),
                          Qt::LeftButton);
        for (int i = 0; i < newLattices; ++i)
            QTest::mouseClick(child<QPushButton>("newLatticeButton"), Qt::LeftButton);
        child<QCheckBox>("everyClusterBox")->setChecked(everyCluster);
        child<QCheckBox>("spanningBox")->setChecked(spanningOnly);
        window->setP(p);
        const std::uint64_t seed = 1 + std::uint64_t(newLattices);
        QCOMPARE(window->side(), L);
        QCOMPARE(value("seedValue"), QString::number(seed));
        const Expected e = expected(L, seed, p, {everyCluster, spanningOnly});
        QVERIFY(window->picture() == e.picture);
        QVERIFY(window->grab()
                    .toImage()
                    .convertToFormat(QImage::Format_RGB32)
                    .copy(child<QWidget>("explorerView")->geometry()) == e.picture);
        QCOMPARE(value("pValue"), QString::number(p, 'f', 4));
        QCOMPARE(value("clustersValue").toInt(), e.clusters);
        QCOMPARE(value("strengthValue"), QString::number(double(e.largest) / (L * L), 'f', 4));
        QCOMPARE(value("spanValue"), e.spans ? QStringLiteral("yes") : QStringLiteral("no"));
    }

    // A site occupied at some p stays so at every larger p, reached by the arrow keys.
    void occupationGrowsWithP()
    {
        QTest::mouseClick(child<QRadioButton>("side150Button"), Qt::LeftButton);
        auto* slider = child<QSlider>("pSlider");
        slider->setFocus();
        window->setP(0.55);
        QImage before = window->picture();
        for (const auto key : {Qt::Key_Right, Qt::Key_PageUp, Qt::Key_Up, Qt::Key_PageUp}) {
            const double p = window->p();
            QTest::keyClick(slider, key);
            QVERIFY(window->p() > p);
            const QImage after = window->picture();
            QVERIFY(after != before);
            for (int y = 0; y < after.height(); ++y)
                for (int x = 0; x < after.width(); ++x)
                    QVERIFY(before.pixel(x, y) == lattice_picture::EmptyColour ||
                            after.pixel(x, y) != lattice_picture::EmptyColour);
            before = after;
        }
        QCOMPARE(window->p(), 0.55 + 0.001 + 0.01 + 0.001 + 0.01);
    }

    // "Play" moves p up through pc; pressed again, or the window closed, it stops where it is.
    void playSweepsThroughThreshold()
    {
        QTest::mouseClick(child<QRadioButton>("side150Button"), Qt::LeftButton);
        window->setP(0.2);
        auto* play = child<QPushButton>("playButton");
        QTest::mouseClick(play, Qt::LeftButton);
        QCOMPARE(window->p(), 0.4927);
        QTRY_VERIFY_WITH_TIMEOUT(window->p() > 0.5927, 30000);
        QTest::mouseClick(play, Qt::LeftButton);
        double stopped = window->p();
        QTest::qWait(200);
        QCOMPARE(window->p(), stopped);
        QTest::mouseClick(play, Qt::LeftButton);
        window->close();
        stopped = window->p();
        QTest::qWait(200);
        QVERIFY(window->p() == stopped && !play->isChecked());
    }
};

QTEST_MAIN(ExplorerTest)
#include "tst_explorer.moc"
