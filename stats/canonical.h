#pragma once

#include "totals.h"

#include <array>
#include <cstdint>
#include <vector>

// The canonical ensemble from the microcanonical one: Q(p) = Σ_n B(N, n, p) Q_n with binomial
// weights B(N, n, p) = C(N, n) pⁿ (1 − p)^(N − n), computed from the peak outwards by the ratio
// of neighbouring terms (Newman & Ziff, PRE 64, 016706 (2001)) and summed only over the n where
// they matter (relative weight above 1e-17 of the peak).
namespace stats {

enum Observable : int {
    SpanVertical = 0, // probability of the event, as in Event
    SpanHorizontal,
    SpanEither,
    SpanBoth,
    Strength,        // P∞ = S_max / N
    StrengthSquared, // ⟨P∞²⟩
    MeanClusterSize, // χ = (Σs² − S_max²) / N
    ClustersPerSite,
};
inline constexpr int ObservableCount = 8;

const char* observableName(Observable observable); // a CSV column name, e.g. "p_inf"

struct CurvePoint
{
    double p = 0;
    std::array<double, ObservableCount> value{};
    // Standard error of the mean: exact for the four events; for the other observables an upper
    // bound, Σ_n B_n Var_n over the samples, since their per-sample canonical values are not kept.
    // NaN with fewer than two samples.
    std::array<double, ObservableCount> error{};
};

// The binomial weights of N trials at p, over n = first … first + weights.size() − 1; they sum
// to 1 up to rounding.
struct BinomialWindow
{
    std::int64_t first = 0;
    std::vector<double> weights;
};
BinomialWindow binomialWindow(std::int64_t N, double p);

// Canonical values and standard errors of every observable at each p (each in [0, 1]).
std::vector<CurvePoint> canonicalCurves(const Totals& totals, const std::vector<double>& ps);

// The canonical probability of `event` at p, and its standard error over samples.
struct ValueWithError
{
    double value = 0;
    double error = 0;
};
ValueWithError eventProbability(const Totals& totals, Event event, double p);

} // namespace stats
