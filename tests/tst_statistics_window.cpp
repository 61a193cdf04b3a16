#include "app/statisticswindow.h"
#include "model/random.h"
#include "stats/canonical.h"
#include "stats/exponenttable.h"
#include "stats/runner.h"
#include "stats/scalinginput.h"
#include "stats/totalsfile.h"

#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <memory>
#include <sstream>

class StatisticsWindowTest : public QObject
{
    Q_OBJECT

    static constexpr std::int32_t LatticeState = 987654321;
    static constexpr int Patience = 120000; // ms; a guard against hangs, not a measurement

    // Types `sizes` in place of the ticked ones.
    static void configure(StatisticsWindow& window, const char* sizes, bool torus, int samples,
                          int seed, stats::Lattice lattice = stats::Lattice::Square,
                          stats::Model model = stats::Model::Site)
    {
        // The lists as a user picks from them: by the name shown.
        const QString names[] = {"Square", "Triangular", "Honeycomb", "Simple cubic"};
        auto* lattices = window.findChild<QComboBox*>("latticeBox");
        lattices->setCurrentIndex(lattices->findText(names[int(lattice)]));
        auto* models = window.findChild<QComboBox*>("modelBox");
        models->setCurrentIndex(models->findText(model == stats::Model::Bond ? "Bond" : "Site"));
        for (QCheckBox* box : window.findChildren<QCheckBox*>())
            box->setChecked(false);
        window.findChild<QLineEdit*>("otherSizesEdit")->setText(QString::fromLatin1(sizes));
        window.findChild<QRadioButton*>(torus ? "torusButton" : "openButton")->setChecked(true);
        window.findChild<QSpinBox*>("samplesBox")->setValue(samples);
        window.findChild<QSpinBox*>("seedBox")->setValue(seed);
    }
    static QLineSeries* series(const StatisticsWindow& window, const char* view,
                               const QString& name)
    {
        const auto all = window.findChild<QChartView*>(view)->chart()->series();
        const auto it = std::find_if(all.begin(), all.end(),
                                     [&](auto* s) { return s->name().startsWith(name); });
        return it == all.end() ? nullptr : qobject_cast<QLineSeries*>(*it);
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
        QTest::addColumn<stats::Lattice>("lattice");
        QTest::addColumn<stats::Model>("model");
        QTest::addColumn<QString>("estimator"); // as the threshold line names it
        QTest::newRow("open") << false << 40 << 7 << stats::Lattice::Square << stats::Model::Site
                              << "crossing";
        QTest::newRow("torus") << true << 33 << 2026 << stats::Lattice::Square
                               << stats::Model::Site << "wrap-mean";
        QTest::newRow("triangular bonds, torus") << true << 200 << 3 << stats::Lattice::Triangular
                                                 << stats::Model::Bond << "wrap-mean-intersection";
        QTest::newRow("simple cubic sites, open") << false << 200 << 4 << stats::Lattice::Cubic
                                                  << stats::Model::Site << "crossing-intersection";
    }
    // However the window cuts the run into batches, its curves are those of one engine run, of
    // the lattice and model chosen; the spanning plot shows the mean of every direction.
    void curvesAreTheEngines()
    {
        QFETCH(bool, torus);
        QFETCH(int, samples);
        QFETCH(int, seed);
        QFETCH(stats::Lattice, lattice);
        QFETCH(stats::Model, model);
        StatisticsWindow window;
        configure(window, "16, 8", torus, samples, seed, lattice, model);
        window.setCurrentP(0.55);
        window.show();
        QSignalSpy finished(&window, &StatisticsWindow::runFinished);
        QTest::keyClick(&window, Qt::Key_Return); // Start is the default button
        QVERIFY(window.isRunning() && finished.wait(Patience) && !window.isRunning());
        const auto* bar = window.findChild<QProgressBar*>("progressBar");
        QVERIFY(bar->value() == 2 * samples && bar->maximum() == 2 * samples);

        for (const int L : {8, 16}) {
            const QString name = QStringLiteral("L = %1").arg(L);
            const QLineSeries* spanning = series(window, "spanningView", name);
            const QLineSeries* strength = series(window, "strengthView", name);
            QVERIFY(spanning && strength && spanning->count() == strength->count() &&
                    spanning->count() > 50);
            std::vector<double> ps;
            for (const QPointF& point : spanning->points())
                ps.push_back(point.x());
            const stats::RunRange range{L,
                                        torus ? stats::Boundary::Torus : stats::Boundary::Open,
                                        std::uint64_t(seed),
                                        0,
                                        std::uint64_t(samples),
                                        lattice,
                                        model};
            const auto curve = stats::canonicalCurves(stats::runSamples(range, 1), ps);
            for (std::size_t i = 0; i < ps.size(); ++i) {
                const auto& value = curve[i].value;
                const double mean =
                    lattice == stats::Lattice::Cubic
                        ? (value[stats::SpanVertical] + value[stats::SpanHorizontal] +
                           value[stats::SpanThird]) /
                              3
                        : (value[stats::SpanVertical] + value[stats::SpanHorizontal]) / 2;
                QVERIFY(spanning->at(int(i)).y() == mean);
                QVERIFY(strength->at(int(i)) == QPointF(ps[i], value[stats::Strength]));
            }
        }
        const QLineSeries* marker = series(window, "strengthView", QStringLiteral("lattice p"));
        QVERIFY(marker && marker->count() == 2 && marker->at(0).x() == 0.55);
        QVERIFY(series(window, "spanningView", QStringLiteral("pc estimate")));
        QFETCH(QString, estimator);
        const QString line = window.findChild<QLabel*>("thresholdLabel")->text();
        QVERIFY2(
            line.startsWith("pc = ") && line.contains("(" + estimator + " estimator") &&
                line.contains(
                    QString("known %1").arg(stats::knownThreshold(lattice, model), 0, 'f', 7)),
            qPrintable(line));
    }

    // What Start says when the sizes will not do; nothing runs.
    void sizesRefused_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<stats::Lattice>("lattice"); // on a torus
        QTest::addColumn<QString>("status");
        const QString range = QStringLiteral(" is out of range: sizes run from 2 to 1000.");
        const auto square = stats::Lattice::Square;
        QTest::newRow("1 with ticked sizes") << true << "1" << square << "1" + range;
        QTest::newRow("0") << false << "64, 0" << square << "0" + range;
        QTest::newRow("1001") << false << "1001" << square << "1001" + range;
        QTest::newRow("beyond int") << true << "99999999999" << square << "99999999999" + range;
        QTest::newRow("nothing") << false << " , ;" << square
                                 << "Tick a size, or type sizes from 2 to 1000.";
        QTest::newRow("a cube too large") << true << "101" << stats::Lattice::Cubic
                                          << "101 is out of range: sizes run from 2 to 100.";
        QTest::newRow("nothing for a cube")
            << false << "" << stats::Lattice::Cubic << "Tick a size, or type sizes from 2 to 100.";
        QTest::newRow("odd honeycomb torus")
            << true << "64, 33" << stats::Lattice::Honeycomb
            << "The honeycomb lattice on a torus needs an even L, not 33.";
    }
    void sizesRefused()
    {
        QFETCH(bool, ticked);
        QFETCH(QString, typed);
        QFETCH(stats::Lattice, lattice);
        StatisticsWindow window;
        configure(window, "", true, 10, 1, lattice);
        for (QCheckBox* box : window.findChildren<QCheckBox*>())
            box->setChecked(ticked);
        window.findChild<QLineEdit*>("otherSizesEdit")->setText(typed);
        window.start();
        QVERIFY(!window.isRunning());
        QTEST(window.findChild<QLabel*>("statusLabel")->text(), "status");
    }

    // Stopped from the keyboard, right after Start and again right after Continue, the window
    // hands the focus to Continue, so that Return goes on with the run (never to an export);
    // the continued run's sums are those of a run never stopped, byte for byte.
    void stopAndContinue()
    {
        StatisticsWindow window;
        configure(window, "40, 17", true, 300, 5);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QSignalSpy finished(&window, &StatisticsWindow::runFinished);
        for (int pass = 0; pass < 2; ++pass) {
            QTest::keyClick(&window, Qt::Key_Return); // Start, then Continue
            QVERIFY(window.isRunning());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // Stop has the focus
            QVERIFY(finished.wait(Patience) && !window.isRunning());
            QCOMPARE(QApplication::focusWidget(), window.findChild<QWidget*>("continueButton"));
        }
        const auto* bar = window.findChild<QProgressBar*>("progressBar");
        const int kept = bar->value();
        QVERIFY(kept < bar->maximum());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(bar->value(), kept); // goes on from the samples done
        QVERIFY(finished.wait(Patience) && bar->value() == bar->maximum());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(!window.findChild<QWidget*>("continueButton")->isEnabled());

        std::vector<stats::Totals> whole;
        for (const int L : {17, 40})
            whole.push_back(stats::runSamples({L, stats::Boundary::Torus, 5, 0, 300}, 0));
        std::ostringstream expected, continued;
        stats::writeTotals(expected, whole);
        stats::writeTotals(continued, window.totals());
        QVERIFY(continued.str() == expected.str());
    }

    void exponents_data()
    {
        QTest::addColumn<QString>("sizes");
        QTest::addColumn<QString>("note"); // empty: the table
        QTest::newRow("two sizes: nothing") << "8, 16"
                                            << "";
        QTest::newRow("three sizes: a note") << "8, 16, 32"
                                             << "Critical exponents need 4 sizes or more.";
        QTest::newRow("four sizes: the table") << "8, 12, 16, 24"
                                               << "";
    }

    // With four sizes the table is the analysis of the run's own totals, snapshots and all; with
    // fewer, a note at most.
    void exponents()
    {
        QFETCH(QString, sizes);
        QFETCH(QString, note);
        StatisticsWindow window;
        configure(window, qPrintable(sizes), true, 200, 4);
        window.show();
        QSignalSpy finished(&window, &StatisticsWindow::runFinished);
        window.start();
        QVERIFY(finished.wait(Patience));
        auto* panel = window.findChild<QWidget*>("exponentPanel");
        auto* table = window.findChild<QTableWidget*>("exponentTable");
        if (sizes.count(',') < 3) {
            QCOMPARE(panel->isVisible(), !note.isEmpty());
            QCOMPARE(window.findChild<QLabel*>("exponentNote")->text(), note);
            QVERIFY(table->isHidden());
            return;
        }
        std::string error;
        const stats::ScalingResult expected =
            stats::analyseScaling(stats::scalingInput(window.totals(), error));
        QVERIFY2(error.empty(), error.c_str());
        QVERIFY(panel->isVisible() && table->isVisible());
        // Even with the table the window fits a small screen; what it cannot show scrolls.
        QVERIFY2(window.minimumSizeHint().height() <= 600 &&
                     window.minimumSizeHint().width() <= 1024,
                 qPrintable(QStringLiteral("%1 x %2")
                                .arg(window.minimumSizeHint().width())
                                .arg(window.minimumSizeHint().height())));
        QCOMPARE(table->rowCount(), int(expected.estimates.size()));
        for (int row = 0; row < table->rowCount(); ++row) {
            const stats::PowerLawFit& fit = expected.estimates[std::size_t(row)].best();
            QCOMPARE(table->item(row, 1)->text().toStdString(),
                     stats::valueText(fit.exponent, fit.error));
        }
    }

    // At the window's smallest size every label of both plots is whole, and the probability
    // axes reach 1.
    void chartsReadableWhenSmall()
    {
        StatisticsWindow window;
        configure(window, "8, 16, 32", false, 20, 1);
        window.setCurrentP(0.5);
        window.show();
        QSignalSpy finished(&window, &StatisticsWindow::runFinished);
        window.start();
        QVERIFY(finished.wait(Patience));
        window.resize(window.minimumSizeHint());
        QTRY_COMPARE(window.size(), window.minimumSizeHint());
        for (const char* name : {"spanningView", "strengthView"}) {
            auto* view = window.findChild<QChartView*>(name);
            view->chart()->layout()->activate();
            QStringList texts;
            for (const QGraphicsItem* item : view->scene()->items()) {
                if (const auto* simple = dynamic_cast<const QGraphicsSimpleTextItem*>(item))
                    texts << simple->text();
                else if (const auto* rich = dynamic_cast<const QGraphicsTextItem*>(item))
                    texts << rich->toPlainText();
            }
            for (const QString& text : std::as_const(texts))
                QVERIFY2(!text.contains(QStringLiteral("...")) && !text.contains(u'…'),
                         qPrintable(texts.join(u'|')));
            QVERIFY2(texts.contains(QStringLiteral("1")) && texts.contains(QStringLiteral("0")),
                     qPrintable(texts.join(u'|')));
        }
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
        configure(*window, "300", false, 100000, 1);
        window->show();
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
        QVERIFY(finished.wait(Patience) && !window->isRunning());
        QVERIFY(bar->value() > 0 && bar->value() < bar->maximum());
        QVERIFY(window->findChild<QPushButton*>("startButton")->isEnabled() &&
                !window->findChild<QPushButton*>("stopButton")->isEnabled());
        QVERIFY(series(*window, "spanningView", QStringLiteral("L = 300"))->count() > 0);

        configure(*window, "12", true, 20, 3);
        window->show();
        window->start();
        QVERIFY(finished.wait(Patience) && bar->value() == 20);
    }
};

QTEST_MAIN(StatisticsWindowTest)
#include "tst_statistics_window.moc"
