// The table of exponents and its charts: cells written to their errors, rows and files from an
// analysis of synthetic sums of known exponents, the log–log chart's lines with their slopes, and
// the window's panel.

#include "app/exponentpanel.h"
#include "charts/scalingchart.h"
#include "stats/clustersizes.h"
#include "stats/exponenttable.h"

#include <QApplication>
#include <QChartView>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QTableWidget>
#include <QTest>

#include <cmath>
#include <random>

using namespace stats;

namespace {

// Four sizes of 32 groups of 50 samples whose means follow the 2D exponents, each group's sums
// off by Gaussian noise of relative spread `noise`; n_s a corrected power law.
ScalingInput synthetic(int sizes, double noise, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    const double D = 91.0 / 48, gamma = 43.0 / 24, tau = 187.0 / 91;
    ScalingInput in;
    for (int L = 32; static_cast<int>(in.sizes.size()) < sizes; L *= 2) {
        const double N = L * L, x = L;
        SizeSums size{L, L * L, 0, std::vector<GroupSums>(32)};
        for (GroupSums& g : size.groups) {
            auto sum = [&](double mean) { return 50 * mean * (1 + noise * normal(rng)); };
            g.samples = 50;
            g.largest = sum(0.7 * std::pow(x, D));
            g.largestSquared = sum(0.6 * N * std::pow(x, gamma));
            g.squares = sum(0.9 * N * std::pow(x, gamma));
            g.slope = sum(0.3 * std::pow(x, 0.75));
            for (int b = 0; b < binsUpTo(std::llround(0.05 * 0.7 * std::pow(x, D))); ++b)
                g.clusters.push_back(sum(0.03 * N * double(binLast(b) - binFirst(b) + 1) *
                                         binMeanPowerLaw(b, tau, -1, 1.5 / D)));
        }
        in.sizes.push_back(size);
    }
    return in;
}

CombinedThreshold threshold(double estimate, double error)
{
    CombinedThreshold t;
    t.estimator = "wrap-mean";
    t.estimate = estimate;
    t.error = error;
    return t;
}

double logSlopeOf(const QList<QPointF>& line)
{
    return std::log(line.back().y() / line.front().y()) /
           std::log(line.back().x() / line.front().x());
}

template <typename Series> Series* named(QChart* chart, const QString& start)
{
    for (QAbstractSeries* s : chart->series())
        if (s->name().startsWith(start))
            return qobject_cast<Series*>(s);
    return nullptr;
}

} // namespace

class ExponentsTest : public QObject
{
    Q_OBJECT

private slots:
    void cellTexts_data()
    {
        QTest::addColumn<double>("estimate");
        QTest::addColumn<double>("error");
        QTest::addColumn<double>("known");
        QTest::addColumn<double>("knownError");
        QTest::addColumn<QString>("text");
        const double nan = std::nan("");
        QTest::newRow("to the error's second digit")
            << 0.749213 << 0.00371 << 0.75 << 0.0 << "0.7492 ± 0.0037 (0.75; -0.2σ)";
        QTest::newRow("an error of a decade")
            << 1.23456 << 0.0996 << 1.0 << 0.0 << "1.235 ± 0.100 (1; +2.4σ)";
        QTest::newRow("an error above one") << 123.4 << 12.0 << nan << 0.0 << "123 ± 12";
        QTest::newRow("a known error")
            << 1.15 << 0.004 << 1.141 << 0.002 << "1.1500 ± 0.0040 (1.1410 ± 0.0020; +2.0σ)";
        QTest::newRow("exact known, seven digits")
            << 1.7903 << 0.0017 << 43.0 / 24 << 0.0 << "1.7903 ± 0.0017 (1.791667; -0.8σ)";
        QTest::newRow("no error") << 0.5927460 << nan << nan << 0.0 << "0.592746";
        QTest::newRow("no estimate") << nan << nan << 0.75 << 0.0 << "—";
    }

    void cellTexts()
    {
        QFETCH(double, estimate);
        QFETCH(double, error);
        QFETCH(double, known);
        QFETCH(double, knownError);
        QFETCH(QString, text);
        TableCell cell{estimate, error, known, knownError, "x"};
        QCOMPARE(QString::fromStdString(cellText(cell)), text);
    }

    // A row from the analysis of sums of known exponents: every cell within 3σ of its known
    // value (the noise is real), pc against the lattice's known threshold, the same numbers in
    // JSON and Markdown; a row of three sizes says why its exponents are missing.
    void rows()
    {
        const Geometry torus{Lattice::Square, Model::Site, 0, Boundary::Torus};
        const ScalingResult four = analyseScaling(synthetic(4, 0.01, 5));
        const ScalingResult three = analyseScaling(synthetic(3, 0.01, 6));
        const std::vector<TableRow> rows = {
            tableRow(torus, {32, 64, 128, 256}, {1600, 1600, 1600, 1600},
                     threshold(0.592750, 0.00002), four),
            tableRow({Lattice::Cubic, Model::Bond, 0, Boundary::Open}, {16, 32, 64}, {5, 5, 5},
                     CombinedThreshold{}, three)};
        const nlohmann::ordered_json json = tableJson(rows);
        const auto& cells = json["rows"][0]["cells"];
        QCOMPARE(cells.size(), TableExponents.size() + 1);
        for (const auto& [name, cell] : cells.items()) {
            QVERIFY2(std::abs(cell["sigmas"].get<double>()) < 3, name.c_str());
            QVERIFY(cell["error"].get<double>() > 0 && cell["error"].get<double>() < 0.02);
        }
        QCOMPARE(cells["pc"]["known"].get<double>(), knownThreshold(Lattice::Square, Model::Site));
        QVERIFY(std::abs(cells["pc"]["sigmas"].get<double>() - 0.2) < 0.05);
        QVERIFY(cells["D"]["from"] == "<S_max> at pc");
        QVERIFY(json["rows"][1]["cells"]["tau"]["estimate"].is_null());
        QVERIFY(json["rows"][1]["samples"] == nlohmann::ordered_json({5, 5, 5}));

        const QStringList lines = QString::fromStdString(markdownTable(rows)).split('\n');
        QCOMPARE(lines[0],
                 "| lattice | model | boundary | sizes | pc | 1/ν | β/ν | γ/ν | D | τ |");
        QCOMPARE(lines[1].count('|'), 11);
        const QStringList first = lines[2].split(" | ");
        QCOMPARE(first.size(), 10);
        QCOMPARE(first[3], "32, 64, 128, 256");
        for (int i = 0; i < 5; ++i) {
            const TableCell cell = exponentCell(four, TableExponents[std::size_t(i)]);
            QCOMPARE(QString(first[5 + i]).remove(" |"), QString::fromStdString(cellText(cell)));
        }
        QCOMPARE(lines[3], "| cubic | bond | open | 16, 32, 64 | — | — | — | — | — | — |");
        QVERIFY(lines.contains("- D from <S_max> at pc"));
        QVERIFY(lines.contains("- cubic bond: exponents: finite-size scaling needs at least 4 "
                               "sizes; there are 3"));
    }

    void chart_data()
    {
        QTest::addColumn<QString>("exponent");
        QTest::addColumn<QString>("axis");
        QTest::newRow("1/nu rises with L") << "1/nu"
                                           << "lattice size L";
        QTest::newRow("beta/nu falls with L") << "beta/nu"
                                              << "lattice size L";
        QTest::newRow("tau against s") << "tau"
                                       << "cluster size s";
    }

    // Each point with its error bar; the fit and the known line with their slopes on log–log
    // axes that hold them all.
    void chart()
    {
        QFETCH(QString, exponent);
        QFETCH(QString, axis);
        const ScalingResult result = analyseScaling(synthetic(4, 0.01, 7));
        const ExponentEstimate& e = *preferredEstimate(result, exponent.toStdString());
        const std::unique_ptr<QChart> chart = charts::scalingChart(e, std::nan(""));
        auto* points = named<QScatterSeries>(chart.get(), "measured");
        QCOMPARE(points->count(), static_cast<int>(e.points.size()));
        QCOMPARE(points->at(1), QPointF(e.points[1].x, e.points[1].value));
        const double sign = exponent == "1/nu" ? 1 : -1;
        const auto* fit = named<QLineSeries>(chart.get(), "fit");
        const auto* known = named<QLineSeries>(chart.get(), "known");
        if (!e.correctionUsed)
            QVERIFY(std::abs(logSlopeOf(fit->points()) - sign * e.best().exponent) < 1e-9);
        QVERIFY(std::abs(logSlopeOf(known->points()) - logSlopeOf(fit->points()) -
                         sign * (e.known - e.best().exponent)) < 1e-9);
        // Bars: a two-point line per point, in their order, across the point.
        std::size_t bars = 0;
        for (QAbstractSeries* s : chart->series())
            if (auto* bar = qobject_cast<QLineSeries*>(s); bar != nullptr && bar->count() == 2) {
                const ScalingPoint& p = e.points[bars++];
                QVERIFY(bar->at(0).x() == p.x && bar->at(1).x() == p.x);
                QVERIFY(bar->at(0).y() < p.value && p.value < bar->at(1).y());
                QVERIFY(std::abs(bar->at(1).y() - p.value - p.error) < 1e-12 * p.value);
            }
        QCOMPARE(bars, e.points.size());
        auto* x = qobject_cast<QLogValueAxis*>(chart->axes(Qt::Horizontal).front());
        auto* y = qobject_cast<QLogValueAxis*>(chart->axes(Qt::Vertical).front());
        QCOMPARE(x->titleText(), axis);
        for (const QLineSeries* line : {fit, known})
            for (const QPointF& p : line->points())
                QVERIFY(p.x() >= x->min() && p.x() <= x->max() && p.y() >= y->min() &&
                        p.y() <= y->max());
    }

    // Every estimate a row, the preferred in bold; a row chosen shows its chart; an analysis
    // that failed leaves a note and nothing else.
    void panel()
    {
        ExponentPanel panel;
        const ScalingResult result = analyseScaling(synthetic(4, 0.01, 8));
        panel.showResult(result, 2);
        QTableWidget* table = panel.table();
        QCOMPARE(table->rowCount(), static_cast<int>(result.estimates.size()));
        for (int row = 0; row < table->rowCount(); ++row) {
            const ExponentEstimate& e = result.estimates[std::size_t(row)];
            QCOMPARE(table->item(row, 0)->font().bold(), e.preferred);
            QCOMPARE(table->item(row, 1)->text().toStdString(),
                     valueText(e.best().exponent, e.best().error));
            QCOMPARE(table->item(row, 3)->text().toStdString(), sigmaText(e.sigmas()));
            table->setCurrentCell(row, 0);
            // Escaped, as a title is rich text where "<S_max>" would vanish.
            QVERIFY(panel.chartView()->chart()->title().endsWith(
                QString::fromStdString(e.observable).toHtmlEscaped()));
        }
        panel.showResult(analyseScaling(synthetic(3, 0.01, 8)), 2);
        QVERIFY(panel.table()->isHidden() && panel.chartView()->isHidden());
        QCOMPARE(panel.note(), "Exponents: finite-size scaling needs at least 4 sizes; there "
                               "are 3.");
    }
};

QTEST_MAIN(ExponentsTest)
#include "tst_exponents.moc"
