#pragma once

#include "totals.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The canonical ensemble from the microcanonical one: Q(p) = Σ_n B(E, n, p) Q_n over the
// occupation numbers n = 0 … E of the E elements (sites or bonds) with binomial weights
// B(E, n, p) = C(E, n) pⁿ (1 − p)^(E − n), computed from the peak outwards by the ratio
// of neighbouring terms (Newman & Ziff, PRE 64, 016706 (2001)) and summed only over the n where
// they matter (relative weight above 1e-17 of the peak).
namespace stats {

// The slots of a curve point. The probabilities of the events come first: in the plane as in
// Event; in space events 0 and 1 (spanning z and y) take the first two slots, "any" and "all"
// those of "either" and "both", and event 2 (spanning x) the slot after the per-site values.
enum Observable : int {
    SpanVertical = 0,
    SpanHorizontal,
    SpanEither,      // any direction
    SpanBoth,        // every direction
    Strength,        // P∞ = S_max / N, over the N sites (whatever the model)
    StrengthSquared, // ⟨P∞²⟩
    MeanClusterSize, // χ = (Σs² − S_max²) / N
    ClustersPerSite, // clusters / N
    SpanThird,       // in space only
};
inline constexpr int ObservableCount = 8; // the slots every lattice fills
inline constexpr int MaxObservables = 9;

// The slot of an event of a lattice of `dimensions`.
Observable eventSlot(int dimensions, int event);
// The observables of a lattice of `dimensions` in the order of the CSV: its events in their
// order, then the per-site values.
std::vector<Observable> observablesOf(int dimensions);
// A CSV column name, e.g. "p_inf", "span_vertical" in the plane, "span_x" in space.
std::string observableName(Observable observable, int dimensions = 2);

struct CurvePoint
{
    double p = 0;
    std::array<double, MaxObservables> value{};
    // Standard error of the mean: exact for the four events; for the other observables an upper
    // bound, Σ_n B_n Var_n over the samples, since their per-sample canonical values are not kept.
    // NaN with fewer than two samples.
    std::array<double, MaxObservables> error{};
};

// The mean of the spanning probabilities of every direction, what the plots of the spanning
// probability show and most threshold estimators use.
double directionsMean(const CurvePoint& point, int dimensions);

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
    std::array<std::vector<std::uint64_t>, MaxEventCount> shownBy;
};

// Canonical values and standard errors of every observable at each p (each in [0, 1]).
std::vector<CurvePoint> canonicalCurves(const Totals& totals, const std::vector<double>& ps);

// The canonical probability of `event` (as numbered in geometry.h) at p, and its standard error
// over samples.
struct ValueWithError
{
    double value = 0;
    double error = 0;
};
ValueWithError eventProbability(const Totals& totals, int event, double p);

} // namespace stats
