#pragma once

#include <QChart>
#include <QList>
#include <QPointF>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// Charts of a canonical curve against the occupation probability p: one line per lattice size,
// dashed vertical lines at chosen values of p (the threshold, an estimate of it, ...).
namespace charts {

struct SizeCurve
{
    int L = 0;
    QList<QPointF> points; // (p, value), in increasing p
};

struct VerticalMarker
{
    double p = 0;
    QString label; // shown in the legend, e.g. "pc = 0.592746"
};

struct CurveChartLabels
{
    QString title;
    QString xTitle = QStringLiteral("occupation probability p");
    QString yTitle; // with its unit, e.g. "fraction of sites"
};

struct AxisRange
{
    double min = 0;
    double max = 1;
};

// The chart of `curves` against p. The p axis spans the curves' points, the value axis `yRange`
// or, when not given, the values from zero up with a small margin. The caller owns the chart.
std::unique_ptr<QChart> curveChart(const std::vector<SizeCurve>& curves,
                                   const std::vector<VerticalMarker>& markers,
                                   const CurveChartLabels& labels,
                                   std::optional<AxisRange> yRange = std::nullopt);

} // namespace charts
