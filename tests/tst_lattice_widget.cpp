// The lattice widget: its first realisation, the order of signals and repaint in a command, what
// a new p and isolation change, and the picture, checked against the straightforward model and a
// picture drawn with one painter call per site.

#include "model/lattice.h"
#include "model/random.h"
#include "straightforward.h"
#include "straightforwardpicture.h"
#include "view/latticepicture.h"
#include "view/percolation.h"

#include <QPaintEvent>
#include <QRandomGenerator>
#include <QTest>

#include <memory>
#include <vector>

using namespace lattice_picture;

namespace {

// Records the widget's signals and paint events in the order they happen.
class Journal : public QObject
{
public:
    explicit Journal(Percolation& widget)
    {
        connect(&widget, &Percolation::largestChanged, this,
                [this](int size) { entries << QStringLiteral("largest %1").arg(size); });
        connect(&widget, &Percolation::sizeChanged, this,
                [this](int L) { entries << QStringLiteral("size %1").arg(L); });
        widget.installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            entries << QStringLiteral("paint");
        return false;
    }

    QStringList entries;
};

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
        return straightforward::drawPicture(L, isolate, occupied.data(), nOccupied,
                                            largest.data(), largestSize)
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

// A shown widget with the program's first realisation, and the same realisation in `expected`.
std::unique_ptr<Percolation> makeShownWidget(Expected& expected)
{
    model::rngState = 1;
    expected.realise(0.5, 600);
    auto widget = std::make_unique<Percolation>(nullptr, "percolation");
    widget->resize(Side, Side);
    widget->show();
    if (!QTest::qWaitForWindowExposed(widget.get()))
        return nullptr;
    return widget;
}

QImage grabbed(Percolation& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class LatticeWidgetTest : public QObject
{
    Q_OBJECT

private slots:
    void constructionRealisesTheFirstLattice()
    {
        model::rngState = 1;
        Percolation widget(nullptr, "percolation");
        QCOMPARE(widget.objectName(), QStringLiteral("percolation"));
        QCOMPARE(widget.systemSize(), 600);
        QCOMPARE(widget.p, 0.5);
        QCOMPARE(widget.isIsolated(), false);
        QCOMPARE(widget.occupiedCount(), 179834);
        QCOMPARE(widget.largestClusterSize(), 398);

        Journal journal(widget);
        widget.emitLargest();
        widget.emitSize();
        QCOMPARE(journal.entries, (QStringList{"largest 398", "size 600"}));
    }

    void commandCycle_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("L");
        QTest::newRow("startNew keeps L") << "startNew" << 600;
        QTest::newRow("startL600 at 600 still realises") << "startL600" << 600;
        QTest::newRow("startL300") << "startL300" << 300;
        QTest::newRow("startL150") << "startL150" << 150;
    }

    // A command realises from the next deviates, announces the largest cluster and then L,
    // once each, and only then repaints, before the slot returns.
    void commandCycle()
    {
        QFETCH(QString, command);
        QFETCH(int, L);
        Expected expected;
        auto widget = makeShownWidget(expected);
        QVERIFY(widget);
        expected.realise(0.5, L);

        Journal journal(*widget);
        QVERIFY(QMetaObject::invokeMethod(widget.get(), command.toLatin1().constData()));
        QCOMPARE(journal.entries, (QStringList{QStringLiteral("largest %1").arg(expected.largestSize),
                                               QStringLiteral("size %1").arg(L), "paint"}));
        QCOMPARE(widget->systemSize(), L);
        QVERIFY(expected.sameLists(*widget));
        QCOMPARE(model::rngState, expected.generator.state);
        QVERIFY(grabbed(*widget) == expected.picture(false));
    }

    void newProbabilityOnlyWaitsForTheNextRealisation()
    {
        Expected expected;
        auto widget = makeShownWidget(expected);
        QVERIFY(widget);
        Journal journal(*widget);
        widget->pChanged(0.3);
        QCoreApplication::processEvents();
        QCOMPARE(journal.entries, QStringList());
        QCOMPARE(widget->p, 0.3);
        QVERIFY(expected.sameLists(*widget));
        QVERIFY(grabbed(*widget) == expected.picture(false));

        expected.realise(0.3, 600);
        widget->startNew();
        QVERIFY(expected.sameLists(*widget));
    }

    void isolationRepaintsWithoutRealising_data()
    {
        QTest::addColumn<bool>("first");
        QTest::addColumn<bool>("second");
        QTest::newRow("on, then on again") << true << true;
        QTest::newRow("on, then off") << true << false;
        QTest::newRow("off while off") << false << false;
    }

    void isolationRepaintsWithoutRealising()
    {
        QFETCH(bool, first);
        QFETCH(bool, second);
        Expected expected;
        auto widget = makeShownWidget(expected);
        QVERIFY(widget);
        Journal journal(*widget);
        widget->slotIsolate(first);
        widget->slotIsolate(second);
        QCOMPARE(journal.entries, (QStringList{"paint", "paint"}));
        QCOMPARE(widget->isIsolated(), second);
        QCOMPARE(model::rngState, expected.generator.state);
        QVERIFY(expected.sameLists(*widget));
        QVERIFY(grabbed(*widget) == expected.picture(second));
    }

    void uniformLattices_data()
    {
        QTest::addColumn<double>("p");
        QTest::addColumn<QRgb>("colour");
        QTest::newRow("p = 0 is all blue") << 0.0 << EmptyColour;
        QTest::newRow("p = 1 is all red") << 1.0 << LargestColour;
    }

    void uniformLattices()
    {
        QFETCH(double, p);
        QFETCH(QRgb, colour);
        Expected expected;
        auto widget = makeShownWidget(expected);
        QVERIFY(widget);
        widget->pChanged(p);
        QImage uniform(Side, Side, QImage::Format_RGB32);
        uniform.fill(colour);
        for (auto command : {&Percolation::startL150, &Percolation::startL300,
                             &Percolation::startL600}) {
            (widget.get()->*command)();
            const int L = widget->systemSize();
            QCOMPARE(widget->largestClusterSize(), p > 0 ? L * L : 0);
            QVERIFY(grabbed(*widget) == uniform);
        }
    }

    void blockPositions_data()
    {
        QTest::addColumn<int>("L");
        QTest::addColumn<int>("s");
        QTest::addColumn<QRect>("block");
        QTest::newRow("150 first") << 150 << 1 << QRect(0, 0, 4, 4);
        QTest::newRow("150 end of top row") << 150 << 150 << QRect(596, 0, 4, 4);
        QTest::newRow("150 start of second row") << 150 << 151 << QRect(0, 4, 4, 4);
        QTest::newRow("150 last") << 150 << 22500 << QRect(596, 596, 4, 4);
        QTest::newRow("300 bottom left") << 300 << 89701 << QRect(0, 598, 2, 2);
        QTest::newRow("300 last") << 300 << 90000 << QRect(598, 598, 2, 2);
        QTest::newRow("600 end of top row") << 600 << 600 << QRect(599, 0, 1, 1);
        QTest::newRow("600 start of second row") << 600 << 601 << QRect(0, 1, 1, 1);
        QTest::newRow("600 last") << 600 << 360000 << QRect(599, 599, 1, 1);
        QTest::newRow("other sizes draw nothing") << 100 << 1 << QRect();
    }

    // One occupied site, in or out of the largest cluster, with and without isolation: its
    // block alone has its colour, red over yellow.
    void blockPositions()
    {
        QFETCH(int, L);
        QFETCH(int, s);
        QFETCH(QRect, block);
        const int list[] = {0, s};
        QImage image = makeImage();
        for (const bool isolate : {false, true}) {
            for (const bool inLargest : {false, true}) {
                compose(image, L, isolate, list, 1, list, inLargest ? 1 : 0);
                const QRgb colour = inLargest ? LargestColour
                                              : (isolate ? EmptyColour : OccupiedColour);
                for (int y = 0; y < Side; ++y)
                    for (int x = 0; x < Side; ++x)
                        if (image.pixel(x, y) != (block.contains(x, y) ? colour : EmptyColour))
                            QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
            }
        }
    }

    void sitesStaySharpAtDevicePixelRatioTwo()
    {
        Expected expected;
        auto widget = makeShownWidget(expected);
        QVERIFY(widget);
        QImage image(2 * Side, 2 * Side, QImage::Format_RGB32);
        image.setDevicePixelRatio(2.0);
        widget->render(&image);
        const QImage picture = expected.picture(false);
        for (int y = 0; y < 2 * Side; ++y)
            for (int x = 0; x < 2 * Side; ++x)
                if (image.pixel(x, y) != picture.pixel(x / 2, y / 2))
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
    }

    // A long, seeded run of random commands, checked step by step against the straightforward
    // model. Under the sanitizer build it also shows that no command touches memory it must not.
    void enduranceAgainstTheStraightforwardModel()
    {
        Expected expected;
        auto widget = makeShownWidget(expected);
        QVERIFY(widget);
        QRandomGenerator random(20261206);
        const double probabilities[] = {0.0, 0.2, 0.5, 0.5927, 0.7, 1.0, 2.0, -1.0};
        void (Percolation::*commands[])() = {&Percolation::startNew, &Percolation::startL600,
                                             &Percolation::startL300, &Percolation::startL150};
        const int sizes[] = {0, 600, 300, 150};
        double p = 0.5;
        bool isolate = false;
        for (int step = 0; step < 1000; ++step) {
            const auto choice = random.bounded(6);
            if (choice == 0) {
                p = probabilities[random.bounded(8)];
                widget->pChanged(p);
            } else if (choice == 1) {
                isolate = random.bounded(2) == 1;
                widget->slotIsolate(isolate);
            } else {
                expected.realise(p, sizes[choice - 2] ? sizes[choice - 2] : expected.L);
                Journal journal(*widget);
                (widget.get()->*commands[choice - 2])();
                QCOMPARE(journal.entries.mid(0, 2),
                         (QStringList{QStringLiteral("largest %1").arg(expected.largestSize),
                                      QStringLiteral("size %1").arg(expected.L)}));
            }
            QCOMPARE(widget->systemSize(), expected.L);
            QCOMPARE(widget->isIsolated(), isolate);
            QCOMPARE(model::rngState, expected.generator.state);
            QVERIFY2(expected.sameLists(*widget), qPrintable(QString::number(step)));
            if (step % 10 == 0)
                QVERIFY2(widget->composePicture() == expected.picture(isolate),
                         qPrintable(QStringLiteral("picture after step %1").arg(step)));
        }
    }
};

QTEST_MAIN(LatticeWidgetTest)
#include "tst_lattice_widget.moc"
