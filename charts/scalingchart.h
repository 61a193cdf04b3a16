#pragma once

#include "stats/scaling.h"

#include <QChart>

#include <memory>

// The log–log chart of one exponent's observable: the measured points with their jackknife
// errors (against L, or against the cluster size s for τ), the best fit, and the line of the
// known exponent through the fit's amplitude. percolation-stats and the statistics window draw
// the same chart.
namespace charts {

// The slope of log(observable) against log x for an exponent x: −x where the observable falls
// (⟨S_max⟩/N with β/ν, n_s with τ), +x otherwise.
double logSlope(const stats::ExponentEstimate& estimate, double exponent);

// The best fit at x. `correctionPower` is the power of x in the correction term, ω for the
// observables against L and ω/D for n_s; NaN draws the fit without it.
double fittedValue(const stats::ExponentEstimate& estimate, double x, double correctionPower);

// The chart, owned by the caller. An estimate without points gives an empty chart titled so.
std::unique_ptr<QChart> scalingChart(const stats::ExponentEstimate& estimate,
                                     double correctionPower);

} // namespace charts
