#include "scalingchart.h"

#include "stats/exponenttable.h"

#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPen>
#include <QScatterSeries>

#include <algorithm>
#include <cmath>
#include <limits>

namespace charts {
namespace {

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

bool againstClusterSize(const stats::ExponentEstimate& estimate)
{
    return estimate.exponent == "tau";
}

// Whole decades at least, so that a log axis always has labelled ticks.
void setLogRange(QLogValueAxis* axis, double min, double max)
{
    axis->setRange(std::pow(10.0, std::floor(std::log10(min) + 1e-9)),
                   std::pow(10.0, std::ceil(std::log10(max) - 1e-9)));
}

} // namespace

double logSlope(const stats::ExponentEstimate& estimate, double exponent)
{
    const bool falls = estimate.exponent == "beta/nu" || estimate.exponent == "tau";
    return falls ? -exponent : exponent;
}

double fittedValue(const stats::ExponentEstimate& estimate, double x, double correctionPower)
{
    const stats::PowerLawFit& fit = estimate.best();
    double value = fit.amplitude * std::pow(x, logSlope(estimate, fit.exponent));
    if (estimate.correctionUsed && std::isfinite(correctionPower))
        value *= 1 + fit.correction * std::pow(x, -correctionPower);
    return value;
}

std::unique_ptr<QChart> scalingChart(const stats::ExponentEstimate& estimate,
                                     double correctionPower)
{
    auto chart = std::make_unique<QChart>();
    chart->setMargins(QMargins(6, 4, 6, 2));
    chart->setBackgroundRoundness(0);
    chart->legend()->setAlignment(Qt::AlignBottom);
    const QString symbol = text(stats::exponentSymbol(estimate.exponent));
    // Titles are rich text: "<S_max>" would vanish as an unknown tag.
    chart->setTitle(
        QObject::tr("%1 from %2").arg(symbol, text(estimate.observable)).toHtmlEscaped());
    const stats::PowerLawFit& fit = estimate.best();
    if (estimate.points.empty() || !fit.valid)
        return chart;

    double xMin = std::numeric_limits<double>::infinity(), xMax = 0;
    double yMin = std::numeric_limits<double>::infinity(), yMax = 0;
    auto include = [&](double x, double y) {
        if (!(x > 0 && y > 0 && std::isfinite(y)))
            return;
        xMin = std::min(xMin, x);
        xMax = std::max(xMax, x);
        yMin = std::min(yMin, y);
        yMax = std::max(yMax, y);
    };

    auto* measured = new QScatterSeries;
    measured->setName(QObject::tr("measured, ± jackknife error"));
    measured->setMarkerSize(7);
    measured->setColor(QColor(0x0072b2));
    measured->setBorderColor(QColor(0x0072b2));
    std::vector<QLineSeries*> bars;
    for (const stats::ScalingPoint& point : estimate.points) {
        measured->append(point.x, point.value);
        include(point.x, point.value);
        // A bar reaching below zero on a log axis ends at a tenth of the value.
        const double low = std::max(point.value - point.error, point.value / 10);
        auto* bar = new QLineSeries;
        bar->append(point.x, low);
        bar->append(point.x, point.value + point.error);
        bar->setPen(QPen(QColor(0x0072b2), 1.5));
        bars.push_back(bar);
        include(point.x, low);
        include(point.x, point.value + point.error);
    }

    // Lines over the points' span, a little beyond, smooth enough for the correction's bend.
    const double from = xMin / 1.2, to = xMax * 1.2;
    const int steps = 48;
    auto line = [&](const QString& name, const QPen& pen, auto value) {
        auto* series = new QLineSeries;
        series->setName(name);
        series->setPen(pen);
        for (int i = 0; i <= steps; ++i) {
            const double x = from * std::pow(to / from, static_cast<double>(i) / steps);
            series->append(x, value(x));
            include(x, value(x));
        }
        return series;
    };
    auto* fitted = line(QObject::tr("fit: %1 = %2%3")
                            .arg(symbol, text(stats::valueText(fit.exponent, fit.error)),
                                 estimate.correctionUsed ? QObject::tr(", corrected") : QString()),
                        QPen(QColor(0xd55e00), 2),
                        [&](double x) { return fittedValue(estimate, x, correctionPower); });
    QLineSeries* known = nullptr;
    if (std::isfinite(estimate.known))
        known = line(QObject::tr("known: %1 = %2")
                         .arg(symbol, text(stats::knownText(estimate.known, estimate.knownError))),
                     QPen(QColor(90, 90, 90), 1.5, Qt::DashLine), [&](double x) {
                         // The fit's amplitude and correction, so that only the slope differs.
                         return fittedValue(estimate, x, correctionPower) *
                                std::pow(x, logSlope(estimate, estimate.known - fit.exponent));
                     });

    auto* xAxis = new QLogValueAxis;
    xAxis->setTitleText(againstClusterSize(estimate) ? QObject::tr("cluster size s")
                                                     : QObject::tr("lattice size L"));
    xAxis->setLabelFormat(QStringLiteral("%g"));
    xAxis->setMinorTickCount(8);
    setLogRange(xAxis, xMin, xMax);
    auto* yAxis = new QLogValueAxis;
    yAxis->setTitleText(text(estimate.observable).toHtmlEscaped());
    yAxis->setLabelFormat(QStringLiteral("%.3g"));
    yAxis->setMinorTickCount(8);
    setLogRange(yAxis, yMin, yMax);
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    std::vector<QAbstractSeries*> all{fitted};
    if (known != nullptr)
        all.push_back(known);
    all.insert(all.end(), bars.begin(), bars.end());
    all.push_back(measured);
    for (QAbstractSeries* series : all) {
        chart->addSeries(series);
        series->attachAxis(xAxis);
        series->attachAxis(yAxis);
    }
    for (QLineSeries* bar : bars)
        chart->legend()->markers(bar).front()->setVisible(false);
    return chart;
}

} // namespace charts
