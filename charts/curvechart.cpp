#include "curvechart.h"

#include <QLineSeries>
#include <QPen>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace charts {
namespace {

struct Extent
{
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();

    void include(double v)
    {
        min = std::min(min, v);
        max = std::max(max, v);
    }
    bool empty() const { return !(min <= max); }
};

// Values start at zero so that curves of different sizes compare by height, not by offset.
AxisRange valueRange(const std::vector<SizeCurve>& curves)
{
    Extent values;
    values.include(0);
    for (const SizeCurve& curve : curves)
        for (const QPointF& point : curve.points)
            values.include(point.y());
    const double span = values.max > values.min ? values.max - values.min : 1;
    return {values.min, values.max + 0.05 * span};
}

AxisRange pRange(const std::vector<SizeCurve>& curves)
{
    Extent ps;
    for (const SizeCurve& curve : curves)
        for (const QPointF& point : curve.points)
            ps.include(point.x());
    if (ps.empty() || ps.max == ps.min)
        return {0, 1};
    return {ps.min, ps.max};
}

// 1, 2 or 5 times a power of ten, for three to six ticks.
double tickInterval(double span)
{
    const double decade = std::pow(10.0, std::floor(std::log10(span / 6)));
    for (double step : {1.0, 2.0, 5.0})
        if (span / (step * decade) <= 6)
            return step * decade;
    return 10 * decade;
}

QFont smaller(QFont font)
{
    font.setPointSizeF(font.pointSizeF() * 0.85);
    return font;
}

// Distinguishable with the common colour-vision deficiencies (Okabe & Ito).
QColor sizeColour(std::size_t index)
{
    static const QRgb palette[] = {0x0072b2, 0xd55e00, 0x009e73, 0xcc79a7,
                                   0xe69f00, 0x56b4e9, 0x000000};
    return QColor(palette[index % std::size(palette)]);
}

} // namespace

std::unique_ptr<QChart> curveChart(const std::vector<SizeCurve>& curves,
                                   const std::vector<VerticalMarker>& markers,
                                   const CurveChartLabels& labels, std::optional<AxisRange> yRange)
{
    auto chart = std::make_unique<QChart>();
    chart->setTitle(labels.title);
    chart->legend()->setAlignment(Qt::AlignBottom);
    // Room for the plot itself in a small window: thin margins, and labels a little smaller than
    // the titles.
    chart->setMargins(QMargins(6, 4, 6, 2));
    chart->setBackgroundRoundness(0);
    chart->legend()->setFont(smaller(chart->legend()->font()));

    const AxisRange xs = pRange(curves);
    const AxisRange ys = yRange ? *yRange : valueRange(curves);
    auto* xAxis = new QValueAxis;
    xAxis->setTitleText(labels.xTitle);
    xAxis->setRange(xs.min, xs.max);
    xAxis->setLabelFormat(QStringLiteral("%.3g"));
    xAxis->setTickType(QValueAxis::TicksDynamic);
    xAxis->setTickAnchor(0);
    xAxis->setTickInterval(tickInterval(xs.max - xs.min));
    xAxis->setLabelsFont(smaller(xAxis->labelsFont()));
    auto* yAxis = new QValueAxis;
    yAxis->setTitleText(labels.yTitle);
    yAxis->setRange(ys.min, ys.max);
    yAxis->setLabelFormat(QStringLiteral("%.3g"));
    yAxis->setLabelsFont(smaller(yAxis->labelsFont()));
    const double yStep = tickInterval(ys.max - ys.min);
    const double ySteps = (ys.max - ys.min) / yStep;
    if (std::abs(ySteps - std::round(ySteps)) < 1e-9 &&
        std::abs(ys.min / yStep - std::round(ys.min / yStep)) < 1e-9) {
        // Ends on ticks, as a probability's 0 … 1: fixed ticks put the last one exactly on the
        // end, where added-up intervals would fall just past it and lose it.
        yAxis->setTickType(QValueAxis::TicksFixed);
        yAxis->setTickCount(static_cast<int>(std::lround(ySteps)) + 1);
    } else {
        yAxis->setTickType(QValueAxis::TicksDynamic);
        yAxis->setTickAnchor(0);
        yAxis->setTickInterval(yStep);
    }
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);

    auto attach = [&](QLineSeries* series) {
        chart->addSeries(series);
        series->attachAxis(xAxis);
        series->attachAxis(yAxis);
    };
    for (std::size_t i = 0; i < curves.size(); ++i) {
        auto* series = new QLineSeries;
        series->setName(QStringLiteral("L = %1").arg(curves[i].L));
        series->append(curves[i].points);
        series->setPen(QPen(sizeColour(i), 2));
        attach(series);
    }
    for (const VerticalMarker& marker : markers) {
        auto* series = new QLineSeries;
        series->setName(marker.label);
        series->append(marker.p, ys.min);
        series->append(marker.p, ys.max);
        // The first marker is the reference; later ones (estimates) are dotted to tell apart.
        const bool reference = &marker == &markers.front();
        series->setPen(QPen(QColor(90, 90, 90), 1.5, reference ? Qt::DashLine : Qt::DotLine));
        attach(series);
    }
    return chart;
}

} // namespace charts
