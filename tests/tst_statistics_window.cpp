#include "app/statisticsrun.h"
#include "app/statisticswindow.h"
#include "model/random.h"
#include "stats/canonical.h"
#include "stats/runner.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <memory>

class StatisticsWindowTest : public QObject
{
    Q_OBJECT

    static constexpr std::int32_t LatticeState = 987654321;
    static constexpr int Patience = 120000; // ms; a guard against hangs, not a measurement

    // Clears the ticked sizes and types `sizes` instead.
    static void configure(StatisticsWindow& window, const QString& sizes, bool torus, int samples,
                          int seed)
    {
        for (QCheckBox* box : window.findChildren<QCheckBox*>())
            box->setChecked(false);
        window.findChild<QLineEdit*>("otherSizesEdit")->setText(sizes);
        window.findChild<QRadioButton*>(torus ? "torusButton" : "openButton")->setChecked(true);
        window.findChild<QSpinBox*>("samplesBox")->setValue(samples);
        window.findChild<QSpinBox*>("seedBox")->setValue(seed);
    }
    static QLineSeries* series(const StatisticsWindow& window, const char* view,
                               const QString& name)
    {
        for (QAbstractSeries* s : window.findChild<QChartView*>(view)->chart()->series()) {
            if (s->name().startsWith(name))
                return qobject_cast<QLineSeries*>(s);
        }
        return nullptr;
    }

private slots:
    void init() { model::rngState = LatticeState; }
    // Nothing here may draw from the lattice window's generator.
    void cleanup() { QCOMPARE(model::rngState, LatticeState); }

    void curvesAreTheEngines_data()
    {
        QTest::addColumn<bool>("torus");
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("seed");
        QTest::newRow("open") << false << 40 << 7;
        QTest::newRow("torus") << true << 33 << 2026;
    }
    // However the window cuts the run into batches, its curves are those of one engine run.
    void curvesAreTheEngines()
    {
        QFETCH(bool, torus);
        QFETCH(int, samples);
        QFETCH(int, seed);
        StatisticsWindow window;
        configure(window, QStringLiteral("16, 8"), torus, samples, seed);
        window.setCurrentP(0.55);
        window.show();
        QSignalSpy finished(&window, &StatisticsWindow::runFinished);
        QTest::keyClick(&window, Qt::Key_Return); // Start is the default button
        QVERIFY(window.isRunning());
        QVERIFY(finished.wait(Patience));
        QVERIFY(!window.isRunning());
        const auto* bar = window.findChild<QProgressBar*>("progressBar");
        QCOMPARE(bar->value(), 2 * samples);
        QCOMPARE(bar->maximum(), 2 * samples);

        for (const int L : {8, 16}) {
            const QString name = QStringLiteral("L = %1").arg(L);
            const QLineSeries* spanning = series(window, "spanningView", name);
            const QLineSeries* strength = series(window, "strengthView", name);
            QVERIFY(spanning && strength);
            QCOMPARE(spanning->count(), strength->count());
            QVERIFY(spanning->count() > 50);
            std::vector<double> ps;
            for (const QPointF& point : spanning->points())
                ps.push_back(point.x());
            const stats::RunRange range{L, torus ? stats::Boundary::Torus : stats::Boundary::Open,
                                        static_cast<std::uint64_t>(seed), 0,
                                        static_cast<std::uint64_t>(samples)};
            const auto curve = stats::canonicalCurves(stats::runSamples(range, 1), ps);
            for (int i = 0; i < spanning->count(); ++i) {
                const auto at = static_cast<std::size_t>(i);
                QVERIFY(spanning->at(i).y() == statistics::spanningValue(curve[at]));
                QVERIFY(strength->at(i) == QPointF(ps[at], curve[at].value[stats::Strength]));
            }
        }
        const QLineSeries* marker = series(window, "strengthView", QStringLiteral("lattice p"));
        QVERIFY(marker && marker->count() == 2 && marker->at(0).x() == 0.55);
        QVERIFY(series(window, "spanningView", QStringLiteral("pc estimate")));
    }

    void cancels_data()
    {
        QTest::addColumn<QString>("how");
        for (const char* how : {"stop", "escape", "destroy"})
            QTest::newRow(how) << QString::fromLatin1(how);
    }
    // Mid-run, the window stops after the samples in hand, keeps them, and can start again.
    void cancels()
    {
        QFETCH(QString, how);
        auto window = std::make_unique<StatisticsWindow>();
        configure(*window, QStringLiteral("300"), false, 100000, 1);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QSignalSpy finished(window.get(), &StatisticsWindow::runFinished);
        window->start();
        const auto* bar = window->findChild<QProgressBar*>("progressBar");
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, Patience);
        if (how == QLatin1String("destroy"))
            return window.reset(); // must neither hang nor leak
        if (how == QLatin1String("stop"))
            QTest::mouseClick(window->findChild<QPushButton*>("stopButton"), Qt::LeftButton);
        else
            QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY(finished.wait(Patience));
        QVERIFY(!window->isRunning());
        QVERIFY(bar->value() > 0 && bar->value() < bar->maximum());
        QVERIFY(window->findChild<QPushButton*>("startButton")->isEnabled());
        QVERIFY(!window->findChild<QPushButton*>("stopButton")->isEnabled());
        QVERIFY(series(*window, "spanningView", QStringLiteral("L = 300"))->count() > 0);

        configure(*window, QStringLiteral("12"), true, 20, 3);
        window->show();
        window->start();
        QVERIFY(finished.wait(Patience));
        QCOMPARE(bar->value(), 20);
    }
};

QTEST_MAIN(StatisticsWindowTest)
#include "tst_statistics_window.moc"
