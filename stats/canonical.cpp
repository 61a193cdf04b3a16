#include "canonical.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace stats {

namespace {

// Weights below this fraction of the peak change no printed digit.
constexpr double Negligible = 1e-17;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

using Moments = CanonicalCurves::Moments;

template <typename Sum, typename SumSquares>
Moments momentsOf(const std::vector<Sum>& sums, const std::vector<SumSquares>& squares,
                  std::uint64_t samples, long double scale)
{
    Moments m;
    m.mean.reserve(sums.size());
    m.variance.reserve(sums.size());
    const auto S = static_cast<long double>(samples);
    for (std::size_t n = 0; n < sums.size(); ++n) {
        const auto sum = static_cast<long double>(sums[n]);
        const auto sq = static_cast<long double>(squares[n]);
        m.mean.push_back(static_cast<double>(sum / S / scale));
        const long double var = samples > 1 ? (sq - sum * sum / S) / (S - 1) : 0.0L;
        m.variance.push_back(static_cast<double>(std::max(var, 0.0L) / (scale * scale)));
    }
    return m;
}

// For each event, how many samples show it by n (their first n is n or less), n = 0 … E + 1.
using ShownBy = std::array<std::vector<std::uint64_t>, MaxEventCount>;

ShownBy eventsShownBy(const Totals& totals)
{
    ShownBy shown;
    const auto entries = static_cast<std::size_t>(totals.elements() + 2);
    const auto events = static_cast<std::size_t>(totals.geometry().eventCount());
    for (std::size_t k = 0; k < events; ++k)
        shown[k].assign(entries, 0);
    for (const SampleEvents& e : totals.events)
        for (std::size_t k = 0; k < events; ++k) {
            const auto n = static_cast<std::size_t>(
                std::clamp<std::int64_t>(e.firstN[k], 0, totals.elements() + 1));
            ++shown[k][n];
        }
    for (auto& v : shown)
        for (std::size_t n = 1; n < v.size(); ++n)
            v[n] += v[n - 1];
    return shown;
}

// tail[k] = P(X ≥ first + k) for X ~ Binomial(N, p), over the window; at its first entry 1, as
// everywhere below it, up to the neglected weights.
std::vector<double> tailsOf(const BinomialWindow& w)
{
    std::vector<double> tail(w.weights.size());
    double running = 0;
    for (std::size_t k = w.weights.size(); k-- > 0;) {
        running += w.weights[k];
        tail[k] = running;
    }
    tail[0] = 1;
    return tail;
}

// The canonical probability of an event: each sample contributes P(X ≥ its first n), so the
// standard error is that of a plain mean over samples. Samples whose first n lies below the
// window contribute 1 and those above it 0, so only the window's bins are visited.
ValueWithError fromShownBy(const std::vector<std::uint64_t>& shownBy, std::uint64_t samples,
                           const BinomialWindow& w, const std::vector<double>& tail)
{
    if (samples == 0)
        return {NaN, NaN};
    const auto first = static_cast<std::size_t>(w.first);
    const std::size_t last = first + w.weights.size() - 1;
    const std::uint64_t below = shownBy[first];
    const std::uint64_t above = samples - shownBy[last];
    const auto S = static_cast<double>(samples);
    // Summed in increasing n, the below-window ones first: whole numbers, so exactly.
    double mean = static_cast<double>(below);
    for (std::size_t k = first + 1; k <= last; ++k)
        if (const std::uint64_t at = shownBy[k] - shownBy[k - 1]; at != 0)
            mean += static_cast<double>(at) * tail[k - first];
    mean /= S;
    if (samples < 2)
        return {mean, NaN};
    double squares = static_cast<double>(below) * (1 - mean) * (1 - mean);
    for (std::size_t k = first + 1; k <= last; ++k)
        if (const std::uint64_t at = shownBy[k] - shownBy[k - 1]; at != 0) {
            const double d = tail[k - first] - mean;
            squares += static_cast<double>(at) * d * d;
        }
    squares += static_cast<double>(above) * mean * mean;
    return {mean, std::sqrt(squares / (S - 1) / S)};
}

} // namespace

Observable eventSlot(int dimensions, int event)
{
    if (event == dimensions)
        return SpanEither;
    if (event == dimensions + 1)
        return SpanBoth;
    return event == 2 ? SpanThird : static_cast<Observable>(event);
}

std::vector<Observable> observablesOf(int dimensions)
{
    std::vector<Observable> list;
    for (int e = 0; e < dimensions + 2; ++e)
        list.push_back(eventSlot(dimensions, e));
    for (const Observable o : {Strength, StrengthSquared, MeanClusterSize, ClustersPerSite})
        list.push_back(o);
    return list;
}

std::string observableName(Observable observable, int dimensions)
{
    for (int e = 0; e < dimensions + 2; ++e)
        if (eventSlot(dimensions, e) == observable)
            return std::string("span_") + eventName(dimensions, e);
    switch (observable) {
    case Strength:
        return "p_inf";
    case StrengthSquared:
        return "p_inf_squared";
    case MeanClusterSize:
        return "chi";
    case ClustersPerSite:
        return "clusters_per_site";
    default:
        return "";
    }
}

double directionsMean(const CurvePoint& point, int dimensions)
{
    double sum = 0;
    for (int e = 0; e < dimensions; ++e)
        sum += point.value[static_cast<std::size_t>(eventSlot(dimensions, e))];
    return sum / dimensions;
}

BinomialWindow binomialWindow(std::int64_t N, double p)
{
    if (N <= 0 || !(p > 0)) // also a NaN p, rather than an undefined conversion below
        return {0, {1.0}};
    if (p >= 1)
        return {N, {1.0}};
    // From the peak outwards by the ratio of neighbouring terms, which keeps every weight to a
    // relative rounding error of a few ulps per step, unlike differences of large lgammas.
    const auto peak = std::clamp<std::int64_t>(
        static_cast<std::int64_t>(std::floor(static_cast<double>(N + 1) * p)), 0, N);
    const double odds = p / (1 - p);
    std::vector<double> below; // peak − 1, peak − 2, …
    double w = 1;
    for (std::int64_t n = peak; n > 0; --n) {
        w *= static_cast<double>(n) / (static_cast<double>(N - n + 1) * odds);
        if (w < Negligible)
            break;
        below.push_back(w);
    }
    BinomialWindow window;
    window.first = peak - static_cast<std::int64_t>(below.size());
    window.weights.assign(below.rbegin(), below.rend());
    window.weights.push_back(1.0);
    w = 1;
    for (std::int64_t n = peak; n < N; ++n) {
        w *= static_cast<double>(N - n) / static_cast<double>(n + 1) * odds;
        if (w < Negligible)
            break;
        window.weights.push_back(w);
    }
    double total = 0;
    for (double x : window.weights)
        total += x;
    for (double& x : window.weights)
        x /= total;
    return window;
}

CanonicalCurves::CanonicalCurves(const Totals& t) : totals(t), shownBy(eventsShownBy(t))
{
    const std::uint64_t S = totals.samples();
    const auto N = static_cast<long double>(totals.sites());
    perSite[0] = momentsOf(totals.sumLargest, totals.sumLargestSquared, S, N);
    perSite[2] = momentsOf(totals.sumChi, totals.sumChiSquared, S, N);
    perSite[3] = momentsOf(totals.sumClusters, totals.sumClustersSquared, S, N);
    // ⟨P∞²⟩ needs sums of S_max⁴ for its variance, which are not kept. To first order
    // Δ(P∞²) = 2 P∞ ΔP∞, so Var(P∞²) ≈ (2 S_max/N)² Var(P∞), with S_max taken at its root mean
    // square, which also covers the second-order term for a symmetric spread.
    Moments& squared = perSite[1];
    squared = perSite[0];
    for (std::size_t n = 0; n < squared.mean.size(); ++n) {
        squared.mean[n] = static_cast<double>(
            static_cast<long double>(totals.sumLargestSquared[n]) / S / (N * N));
        squared.variance[n] *= 4 * squared.mean[n];
    }
}

CurvePoint CanonicalCurves::at(double p) const
{
    const std::uint64_t S = totals.samples();
    CurvePoint point;
    point.p = p;
    point.value.fill(NaN);
    point.error.fill(NaN);
    const BinomialWindow w = binomialWindow(totals.elements(), p);
    const std::vector<double> tail = tailsOf(w);
    const int dimensions = totals.geometry().dimensions();
    for (int e = 0; e < dimensions + 2; ++e) {
        const auto r = fromShownBy(shownBy[static_cast<std::size_t>(e)], S, w, tail);
        const auto slot = static_cast<std::size_t>(eventSlot(dimensions, e));
        point.value[slot] = r.value;
        point.error[slot] = r.error;
    }
    // The standard error uses Var(Σ_n B_n X_n) ≤ Σ_n B_n Var(X_n) (Jensen), a conservative
    // bound that needs only the per-n sums, so it stays exact under merging.
    for (std::size_t o = 0; o < perSite.size(); ++o) {
        double value = 0;
        double variance = 0;
        for (std::size_t k = 0; k < w.weights.size(); ++k) {
            const auto n = static_cast<std::size_t>(w.first) + k;
            value += w.weights[k] * perSite[o].mean[n];
            variance += w.weights[k] * perSite[o].variance[n];
        }
        const std::size_t slot = static_cast<std::size_t>(Strength) + o;
        point.value[slot] = S > 0 ? value : NaN;
        point.error[slot] = S > 1 ? std::sqrt(variance / static_cast<double>(S)) : NaN;
    }
    return point;
}

std::vector<CurvePoint> canonicalCurves(const Totals& totals, const std::vector<double>& ps)
{
    const CanonicalCurves curves(totals);
    std::vector<CurvePoint> points;
    points.reserve(ps.size());
    for (double p : ps)
        points.push_back(curves.at(p));
    return points;
}

ValueWithError eventProbability(const Totals& totals, int event, double p)
{
    const BinomialWindow w = binomialWindow(totals.elements(), p);
    return fromShownBy(eventsShownBy(totals)[static_cast<std::size_t>(event)], totals.samples(), w,
                       tailsOf(w));
}

} // namespace stats
