#pragma once

#include <cstdint>
#include <vector>

// Canonical quantities beyond the curves themselves, still exact transforms of microcanonical
// data (Newman & Ziff, PRE 64, 016706 (2001)).
//
// The slope of a spanning probability: a sample whose event first happens at occupation k
// contributes P(X ≥ k) to R(p), X ~ Binomial(N, p), and d/dp P(X ≥ k) = N·B(N − 1, k − 1, p).
// The mean of these terms over samples is dR/dp exactly, with no finite difference, and each
// sample's term is a number of its own, so the slope has a jackknife over samples like any mean.
// dR/dp at pc grows as L^(1/ν).
//
// The peak of a canonical curve Q(p) = Σ_n B(N, n, p) Q_n when Q_n is known only on a window of
// n: only the p whose binomial weights lie inside the window up to 1e-9 of their mass count.
namespace stats {

// N·B(N − 1, k − 1, p) for each first occupation k (0 where k < 1 or k > N).
std::vector<double> spanningSlopes(const std::vector<std::int64_t>& firstN, std::int64_t N,
                                   double p);

// The largest value over p of Σ_n B(N, n, p) Q_n with Q_n given for n = first … first +
// values.size() − 1. NaN when the largest value lies at an end of the p the window covers,
// where it may not be a peak.
struct CanonicalPeak
{
    double p = 0;
    double value = 0;
};
CanonicalPeak canonicalPeak(const std::vector<double>& values, std::int64_t first, std::int64_t N);

} // namespace stats
