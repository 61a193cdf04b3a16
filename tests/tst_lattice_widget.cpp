// The lattice widget through a long, seeded run of random commands, checked step by step against
// the straightforward model and a picture drawn with one painter call per site: its lists, its
// signals and repaints in order, and what it shows.

#include "model/lattice.h"
#include "model/random.h"
#include "straightforward.h"
#include "straightforwardpicture.h"
#include "view/latticepicture.h"
#include "view/percolation.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace lattice_picture;

namespace {

// The straightforward model, run beside the widget from the same generator state.
struct Expected
{
    straightforward::Generator generator;
    std::vector<int> site = std::vector<int>(model::SiteCapacity);
    std::vector<int> occupied = std::vector<int>(model::SiteCapacity);
    std::vector<int> largest = std::vector<int>(model::SiteCapacity);
    int nOccupied = 0;
    int largestSize = 0;
    int L = 600;

    void realise(double p, int size)
    {
        L = size;
        nOccupied = straightforward::occupySites(generator, p, site.data(), occupied.data(), L);
        largestSize = straightforward::findLargestCluster(site.data(), occupied.data(),
                                                          largest.data(), nOccupied, L);
    }

    QImage picture(bool isolate) const
    {
        return straightforward::drawPicture(L, isolate, occupied.data(), nOccupied, largest.data(),
                                            largestSize)
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    bool sameLists(const Percolation& widget) const
    {
        return widget.occupiedCount() == nOccupied && widget.largestClusterSize() == largestSize &&
               std::equal(occupied.begin() + 1, occupied.begin() + 1 + nOccupied,
                          widget.occupiedList() + 1) &&
               std::equal(largest.begin() + 1, largest.begin() + 1 + largestSize,
                          widget.largestList() + 1);
    }
};

} // namespace

class LatticeWidgetTest : public QObject
{
    Q_OBJECT

    // The widget's signals and paint events in the order they happen.
    QStringList journal;

public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            journal << QStringLiteral("paint");
        return false;
    }

private slots:
    // A command realises from the next deviates at its L (startNew: the current one), announces
    // the largest cluster and then L, and repaints before it returns; a new p only waits for the
    // next realisation; isolation only repaints. The widget is painted at device pixel ratio 2,
    // where every site must stay a sharp block.
    void enduranceAgainstTheStraightforwardModel()
    {
        model::rngState = 1;
        Expected expected;
        expected.realise(0.5, 600);
        Percolation widget;
        widget.resize(Side, Side);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QCOMPARE(widget.p, 0.5);
        widget.installEventFilter(this);
        connect(&widget, &Percolation::largestChanged, this,
                [this](int size) { journal << QStringLiteral("largest %1").arg(size); });
        connect(&widget, &Percolation::sizeChanged, this,
                [this](int L) { journal << QStringLiteral("size %1").arg(L); });
        QRandomGenerator random(20261206);
        const double probabilities[] = {0.0, 0.2, 0.5, 0.5927, 0.7, 1.0, 2.0, -1.0};
        void (Percolation::*commands[])() = {&Percolation::startNew, &Percolation::startL600,
                                             &Percolation::startL300, &Percolation::startL150};
        const int sizes[] = {0, 600, 300, 150};
        double p = 0.5;
        bool isolate = false;
        QImage rendered(2 * Side, 2 * Side, QImage::Format_RGB32);
        rendered.setDevicePixelRatio(2.0);
        for (int step = 0; step < 400; ++step) {
            const auto choice = step == 0 ? 6 : random.bounded(6);
            QStringList expectedEntries;
            journal.clear();
            if (choice == 0) {
                p = probabilities[random.bounded(8)];
                widget.pChanged(p);
            } else if (choice == 1) {
                isolate = random.bounded(2) == 1;
                widget.slotIsolate(isolate);
                expectedEntries << QStringLiteral("paint");
            } else if (choice < 6) {
                expected.realise(p, sizes[choice - 2] ? sizes[choice - 2] : expected.L);
                (widget.*commands[choice - 2])();
                expectedEntries << QStringLiteral("largest %1").arg(expected.largestSize)
                                << QStringLiteral("size %1").arg(expected.L)
                                << QStringLiteral("paint");
            }
            QCoreApplication::processEvents();
            QCOMPARE(journal, expectedEntries);
            QCOMPARE(widget.systemSize(), expected.L);
            QCOMPARE(widget.isIsolated(), isolate);
            QCOMPARE(model::rngState, expected.generator.state);
            QVERIFY2(expected.sameLists(widget), qPrintable(QString::number(step)));
            if (step % 10 == 0) {
                widget.render(&rendered);
                QVERIFY2(rendered == expected.picture(isolate).scaled(2 * Side, 2 * Side),
                         qPrintable(QStringLiteral("picture after step %1").arg(step)));
            }
        }
    }

    void otherSizesDrawNothing()
    {
        model::SiteBits bits;
        bits.words.fill(0xffff);
        const int list[] = {0, 1};
        QImage image = makeImage(), blue = makeImage();
        compose(image, 100, false, bits, list, 1);
        blue.fill(EmptyColour);
        QVERIFY(image == blue);
    }
};

QTEST_MAIN(LatticeWidgetTest)
#include "tst_lattice_widget.moc"
