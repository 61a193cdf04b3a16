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

// The canonical curves of one totals, at any p in [0, 1], one point at a time: the
// microcanonical means and variances are computed once, in about 100 bytes per site. Keeps a
// reference to the totals, which must outlive it.
class CanonicalCurves
{
public:
    explicit CanonicalCurves(const Totals& totals);
    CurvePoint at(double p) const;

    // The microcanonical mean and sample variance at every n of one per-site observable.
    struct Moments
    {
        std::vector<double> mean;
        std::vector<double> variance;
    };

private:
    const Totals& totals;
    std::array<Moments, 4> perSite; // P∞, P∞², χ, clusters per site
    std::array<std::vector<std::uint64_t>, EventCount> shownBy;
};

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
