#include "canonicalwindow.h"

#include "canonical.h"

#include <cmath>
#include <limits>

namespace stats {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Binomial mass allowed outside the window: below any statistical error of a peak.
constexpr double OutsideMass = 1e-9;
// Grid points over the window before the golden-section search: finer than the binomial width
// of the windows recorded, so the grid's best point brackets the peak.
constexpr int GridPoints = 64;

// Σ_n B(N, n, p) Q_n, or NaN when the weights reach outside the window.
double transformAt(const std::vector<double>& values, std::int64_t first, std::int64_t N, double p)
{
    const BinomialWindow w = binomialWindow(N, p);
    double value = 0, outside = 0;
    for (std::size_t k = 0; k < w.weights.size(); ++k) {
        const std::int64_t n = w.first + static_cast<std::int64_t>(k) - first;
        if (n < 0 || n >= static_cast<std::int64_t>(values.size()))
            outside += w.weights[k];
        else
            value += w.weights[k] * values[static_cast<std::size_t>(n)];
    }
    return outside <= OutsideMass ? value : NaN;
}

} // namespace

std::vector<double> spanningSlopes(const std::vector<std::int64_t>& firstN, std::int64_t N,
                                   double p)
{
    const BinomialWindow w = binomialWindow(N - 1, p);
    std::vector<double> slopes;
    slopes.reserve(firstN.size());
    for (std::int64_t k : firstN) {
        // The window of N − 1 trials lies within k − 1 = 0 … N − 1.
        const std::int64_t at = k - 1 - w.first;
        const bool inside = at >= 0 && at < static_cast<std::int64_t>(w.weights.size());
        slopes.push_back(inside ? static_cast<double>(N) * w.weights[static_cast<std::size_t>(at)]
                                : 0.0);
    }
    return slopes;
}

CanonicalPeak canonicalPeak(const std::vector<double>& values, std::int64_t first, std::int64_t N)
{
    if (values.empty() || N <= 0)
        return {NaN, NaN};
    const double lo = static_cast<double>(first) / static_cast<double>(N);
    const double hi = static_cast<double>(first + static_cast<std::int64_t>(values.size()) - 1) /
                      static_cast<double>(N);
    const double spacing = (hi - lo) / GridPoints;
    int best = -1, firstValid = -1, lastValid = -1;
    double bestValue = -std::numeric_limits<double>::infinity();
    for (int k = 0; k <= GridPoints; ++k) {
        const double v = transformAt(values, first, N, lo + k * spacing);
        if (std::isnan(v))
            continue;
        firstValid = firstValid < 0 ? k : firstValid;
        lastValid = k;
        if (v > bestValue)
            best = k, bestValue = v;
    }
    if (best <= firstValid || best >= lastValid)
        return {NaN, NaN};
    // Golden-section search between the best grid point's neighbours, where the curve (a smooth
    // average over binomial weights) has one maximum.
    const double invPhi = (std::sqrt(5.0) - 1) / 2;
    double a = lo + (best - 1) * spacing, b = lo + (best + 1) * spacing;
    double c = b - invPhi * (b - a), d = a + invPhi * (b - a);
    double fc = transformAt(values, first, N, c), fd = transformAt(values, first, N, d);
    while (b - a > 1e-12 * std::max(1.0, b)) {
        if (fc >= fd) {
            b = d, d = c, fd = fc;
            c = b - invPhi * (b - a);
            fc = transformAt(values, first, N, c);
        } else {
            a = c, c = d, fc = fd;
            d = a + invPhi * (b - a);
            fd = transformAt(values, first, N, d);
        }
    }
    return fc >= fd ? CanonicalPeak{c, fc} : CanonicalPeak{d, fd};
}

} // namespace stats
