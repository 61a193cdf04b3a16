#include "model/lattice.h"
#include "model/random.h"
#include "straightforward.h"
#include "straightforwardpicture.h"
#include "view/latticepicture.h"
#include "view/percolation.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
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

    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            entries << QStringLiteral("paint");
        return false;
    }

    QStringList entries;
};

// What the straightforward model makes of the same realisation.
struct Expected
{
    std::vector<int> site = std::vector<int>(model::SiteCapacity);
    std::vector<int> occupied = std::vector<int>(model::SiteCapacity);
    std::vector<int> largest = std::vector<int>(model::SiteCapacity);
    int nOccupied = 0;
    int largestSize = 0;

    void realise(straightforward::Generator& generator, double p, int L)
    {
        nOccupied = straightforward::occupySites(generator, p, site.data(), occupied.data(), L);
        largestSize = straightforward::findLargestCluster(site.data(), occupied.data(),
                                                          largest.data(), nOccupied, L);
    }
};

std::unique_ptr<Percolation> makeShownWidget()
{
    model::rngState = 1;
    auto widget = std::make_unique<Percolation>(nullptr, "percolation");
    widget->resize(Side, Side);
    widget->show();
    if (!QTest::qWaitForWindowExposed(widget.get()))
        return nullptr;
    return widget;
}

QRgb expectedColour(const Percolation& widget, int s)
{
    const int* largest = widget.largestList();
    if (std::find(largest + 1, largest + 1 + widget.largestClusterSize(), s) !=
        largest + 1 + widget.largestClusterSize())
        return LargestColour;
    if (!widget.isIsolated() && widget.siteArray()[s] == 1)
        return OccupiedColour;
    return EmptyColour;
}

// Compares every pixel of the picture with the colour of the site it belongs to.
QString firstWrongPixel(const Percolation& widget, const QImage& image)
{
    const int L = widget.systemSize();
    const int k = Side / L;
    std::vector<QRgb> colourOfSite(static_cast<std::size_t>(L * L) + 1);
    for (int s = 1; s <= L * L; ++s)
        colourOfSite[static_cast<std::size_t>(s)] = expectedColour(widget, s);
    for (int y = 0; y < Side; ++y) {
        for (int x = 0; x < Side; ++x) {
            const int s = (y / k) * L + x / k + 1;
            if (image.pixel(x, y) != colourOfSite[static_cast<std::size_t>(s)])
                return QStringLiteral("pixel (%1, %2) of site %3").arg(x).arg(y).arg(s);
        }
    }
    return {};
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

    // Each command realises from the next deviates, announces the largest cluster and then L,
    // once each, and only then repaints, before the slot returns.
    void commandCycle()
    {
        QFETCH(QString, command);
        QFETCH(int, L);
        auto widget = makeShownWidget();
        QVERIFY(widget);
        straightforward::Generator reference;
        reference.state = model::rngState;
        Expected expected;
        expected.realise(reference, 0.5, L);

        Journal journal(*widget);
        QVERIFY(QMetaObject::invokeMethod(widget.get(), command.toLatin1().constData()));
        QCOMPARE(journal.entries, (QStringList{QStringLiteral("largest %1").arg(expected.largestSize),
                                               QStringLiteral("size %1").arg(L), "paint"}));
        QCOMPARE(widget->systemSize(), L);
        QCOMPARE(widget->occupiedCount(), expected.nOccupied);
        QCOMPARE(widget->largestClusterSize(), expected.largestSize);
        QVERIFY(std::equal(expected.largest.begin() + 1,
                           expected.largest.begin() + 1 + expected.largestSize,
                           widget->largestList() + 1));
        QCOMPARE(model::rngState, reference.state);
        QCOMPARE(firstWrongPixel(*widget, grabbed(*widget)), QString());
    }

    void newProbabilityOnlyWaitsForTheNextRealisation()
    {
        auto widget = makeShownWidget();
        QVERIFY(widget);
        const QImage before = grabbed(*widget);
        const int occupiedBefore = widget->occupiedCount();
        const std::int32_t stateBefore = model::rngState;

        Journal journal(*widget);
        widget->pChanged(0.3);
        QCoreApplication::processEvents();
        QCOMPARE(journal.entries, QStringList());
        QCOMPARE(widget->p, 0.3);
        QCOMPARE(widget->occupiedCount(), occupiedBefore);
        QCOMPARE(model::rngState, stateBefore);
        QCOMPARE(grabbed(*widget), before);

        straightforward::Generator reference;
        reference.state = model::rngState;
        Expected expected;
        expected.realise(reference, 0.3, 600);
        widget->startNew();
        QCOMPARE(widget->occupiedCount(), expected.nOccupied);
        QCOMPARE(widget->largestClusterSize(), expected.largestSize);
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
        auto widget = makeShownWidget();
        QVERIFY(widget);
        const std::int32_t stateBefore = model::rngState;
        const int largestBefore = widget->largestClusterSize();
        Journal journal(*widget);
        widget->slotIsolate(first);
        widget->slotIsolate(second);
        QCOMPARE(journal.entries, (QStringList{"paint", "paint"}));
        QCOMPARE(widget->isIsolated(), second);
        QCOMPARE(model::rngState, stateBefore);
        QCOMPARE(widget->largestClusterSize(), largestBefore);
        QCOMPARE(firstWrongPixel(*widget, grabbed(*widget)), QString());
    }

    void isolationSurvivesNewRealisationsAndSizes()
    {
        auto widget = makeShownWidget();
        QVERIFY(widget);
        widget->slotIsolate(true);
        for (auto command : {&Percolation::startNew, &Percolation::startL150,
                             &Percolation::startL300, &Percolation::startL600}) {
            (widget.get()->*command)();
            QVERIFY(widget->isIsolated());
            const QImage image = grabbed(*widget);
            QCOMPARE(firstWrongPixel(*widget, image), QString());
            QVERIFY(!image.allGray() || widget->largestClusterSize() == 0);
            for (int y = 0; y < Side; y += 7)
                for (int x = 0; x < Side; x += 7)
                    QVERIFY(image.pixel(x, y) != OccupiedColour);
        }
    }

    void emptyLatticeIsAllBlueAndFullLatticeAllRed_data()
    {
        QTest::addColumn<double>("p");
        QTest::addColumn<QRgb>("colour");
        QTest::newRow("p = 0") << 0.0 << EmptyColour;
        QTest::newRow("p = 1") << 1.0 << LargestColour;
    }

    void emptyLatticeIsAllBlueAndFullLatticeAllRed()
    {
        QFETCH(double, p);
        QFETCH(QRgb, colour);
        auto widget = makeShownWidget();
        QVERIFY(widget);
        widget->pChanged(p);
        for (auto command : {&Percolation::startL150, &Percolation::startL300,
                             &Percolation::startL600}) {
            QSignalSpy largest(widget.get(), &Percolation::largestChanged);
            (widget.get()->*command)();
            QCOMPARE(largest.count(), 1);
            QCOMPARE(largest.at(0).at(0).toInt(), p > 0 ? widget->systemSize() * widget->systemSize() : 0);
            QImage expected(Side, Side, QImage::Format_RGB32);
            expected.fill(colour);
            QCOMPARE(grabbed(*widget), expected);
        }
    }

    void samePictureTwice()
    {
        auto widget = makeShownWidget();
        QVERIFY(widget);
        widget->startL300();
        const QImage first = grabbed(*widget);
        widget->repaint();
        QCOMPARE(grabbed(*widget), first);
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
        QTest::newRow("300 first") << 300 << 1 << QRect(0, 0, 2, 2);
        QTest::newRow("300 bottom left") << 300 << 89701 << QRect(0, 598, 2, 2);
        QTest::newRow("300 last") << 300 << 90000 << QRect(598, 598, 2, 2);
        QTest::newRow("600 end of top row") << 600 << 600 << QRect(599, 0, 1, 1);
        QTest::newRow("600 start of second row") << 600 << 601 << QRect(0, 1, 1, 1);
        QTest::newRow("600 last") << 600 << 360000 << QRect(599, 599, 1, 1);
    }

    void blockPositions()
    {
        QFETCH(int, L);
        QFETCH(int, s);
        QFETCH(QRect, block);
        for (const bool isolate : {false, true}) {
            for (const bool inLargest : {false, true}) {
                const int list[] = {0, s};
                QImage image = makeImage();
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

    void otherSizesDrawNothing()
    {
        const int list[] = {0, 1, 2, 3};
        QImage image = makeImage();
        compose(image, 100, false, list, 3, list, 3);
        QImage blue(Side, Side, QImage::Format_RGB32);
        blue.fill(EmptyColour);
        QCOMPARE(image, blue);
    }

    void sitesStaySharpAtDevicePixelRatioTwo()
    {
        auto widget = makeShownWidget();
        QVERIFY(widget);
        QImage image(2 * Side, 2 * Side, QImage::Format_RGB32);
        image.setDevicePixelRatio(2.0);
        widget->render(&image);
        const QImage picture = widget->composePicture();
        for (int y = 0; y < 2 * Side; ++y)
            for (int x = 0; x < 2 * Side; ++x)
                if (image.pixel(x, y) != picture.pixel(x / 2, y / 2))
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
    }

    // A long, seeded run of random commands, checked step by step against the straightforward
    // model. Under the sanitizer build it also shows that no command touches memory it must not.
    void enduranceAgainstTheStraightforwardModel()
    {
        auto widget = makeShownWidget();
        QVERIFY(widget);
        // From the start: the widget's own first realisation is the first one compared.
        straightforward::Generator reference;
        Expected expected;
        expected.realise(reference, 0.5, 600);
        QCOMPARE(model::rngState, reference.state);
        QRandomGenerator random(20261206);
        const double probabilities[] = {0.0, 0.2, 0.5, 0.5927, 0.7, 1.0, 2.0, -1.0};
        double p = widget->p;
        int L = widget->systemSize();
        bool isolate = false;
        QSignalSpy largest(widget.get(), &Percolation::largestChanged);
        QSignalSpy size(widget.get(), &Percolation::sizeChanged);
        for (int step = 0; step < 1000; ++step) {
            largest.clear();
            size.clear();
            const auto choice = random.bounded(7);
            switch (choice) {
            case 0:
                p = probabilities[random.bounded(8)];
                widget->pChanged(p);
                break;
            case 1:
                isolate = random.bounded(2) == 1;
                widget->slotIsolate(isolate);
                break;
            default: {
                const int sizes[] = {L, 600, 300, 150};
                const auto which = choice - 2 < 4 ? choice - 2 : 0;
                L = sizes[which];
                expected.realise(reference, p, L);
                void (Percolation::*commands[])() = {&Percolation::startNew,
                                                     &Percolation::startL600,
                                                     &Percolation::startL300,
                                                     &Percolation::startL150};
                (widget.get()->*commands[which])();
                QCOMPARE(largest.count(), 1);
                QCOMPARE(largest.at(0).at(0).toInt(), expected.largestSize);
                QCOMPARE(size.count(), 1);
                QCOMPARE(size.at(0).at(0).toInt(), L);
                QCOMPARE(widget->occupiedCount(), expected.nOccupied);
                QVERIFY(std::equal(expected.occupied.begin() + 1,
                                   expected.occupied.begin() + 1 + expected.nOccupied,
                                   widget->occupiedList() + 1));
                QVERIFY(std::equal(expected.largest.begin() + 1,
                                   expected.largest.begin() + 1 + expected.largestSize,
                                   widget->largestList() + 1));
                break;
            }
            }
            QCOMPARE(widget->systemSize(), L);
            QCOMPARE(widget->isIsolated(), isolate);
            QCOMPARE(model::rngState, reference.state);
            if (step % 10 == 0) {
                // The picture as one painter call per site would draw it.
                const QImage expectedPicture =
                    straightforward::drawPicture(L, isolate, expected.occupied.data(),
                                                 expected.nOccupied, expected.largest.data(),
                                                 expected.largestSize)
                        .toImage()
                        .convertToFormat(QImage::Format_RGB32);
                QVERIFY2(widget->composePicture() == expectedPicture,
                         qPrintable(QStringLiteral("picture after step %1").arg(step)));
            }
        }
    }
};

QTEST_MAIN(LatticeWidgetTest)
#include "tst_lattice_widget.moc"
