#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// Critical exponents by finite-size scaling at the threshold.
//
// At p = pc an observable O of a lattice of linear size L behaves as a·L^x·(1 + b·L^(−ω) + …).
// Each exponent is the slope x of a weighted least-squares fit of log O against log L, each
// size weighted by its own jackknife error of log O; optionally with the leading correction
// b·L^(−ω), ω given, fitted in x, a and b together. The stated error is a jackknife over sample
// groups: the sizes are independent, so leaving group g out at every size at once and refitting
// with the same weights gives one estimate per group whose spread is the error, whatever the
// correlations between one size's observables. The fit's own error from the per-size errors,
// χ²/dof and its probability are reported beside it. The correction counts as needed when it
// lowers χ² by more than 6.63, which χ² with one degree of freedom exceeds with probability 1 %.
//
// The inputs are sums per size and group at p = pc in the canonical ensemble: each sample gives
// its values at an occupation n drawn from Binomial(N, pc), so any split of the samples adds up
// to the same input. Fixed n = N·pc would not do: against the canonical ensemble it carries a
// relative correction of order L^(2/ν − d), which moves D on the square torus (L = 32 … 512,
// 10⁴ samples per size) by −0.004, five times its error.
//   1/ν  from dR/dp at pc ∝ L^(1/ν), the exact canonical slope (canonicalwindow.h);
//   γ/ν  from ⟨S_max²⟩/N and from Σ_s s²/N (every cluster), ∝ L^(γ/ν); cross-checks: χ with the
//        largest cluster left out, which has strong corrections on a torus at pc, and the
//        maximum of χ over p, from its canonical curve on a window of n;
//   β/ν  from ⟨S_max⟩/N ∝ L^(−β/ν); D from ⟨S_max⟩ ∝ L^D, so D = d − β/ν exactly;
//   τ    from n_s ∝ s^(−τ)·(1 + B·s^(−Ω)), Ω = ω/D, fitted to the log bins of every size at
//        once over a scaling range, and set against hyperscaling, τ = 1 + d/D.
// n_s's correction is large at every s in reach (B ≈ −1.6 on the square lattice), so τ always
// takes the corrected fit; on short ranges the χ² test alone can miss it. τ's range starts at
// s = 64: from 32 on, corrections beyond B·s^(−Ω) still pull τ down by up to 0.003 (square
// torus, L ≤ 512), from 64 on it stays within its errors. It ends at a fraction of ⟨S_max⟩ at
// each size, the finite-size cut-off L^D as measured rather than assumed: on the torus at pc,
// n_s is depleted below L = ∞ by under 2 % up to 0.05 ⟨S_max⟩ and by 5 % at 0.1 ⟨S_max⟩, and
// from 0.3 ⟨S_max⟩ on the clusters that cannot grow further pile up in a bump. Up to
// 0.05 ⟨S_max⟩ the fit's χ² stays at its degrees of freedom and τ does not move with the end of
// the range.
// M. E. Fisher and M. N. Barber, PRL 28, 1516 (1972), for finite-size scaling; D. Stauffer and
// A. Aharony, Introduction to Percolation Theory (1994); B. Efron, The Jackknife, the Bootstrap
// and Other Resampling Plans (1982).
namespace stats {

// One jackknife group's sums over its samples at one size, each sample's S_max, S_max², Σ s² and
// clusters taken at its own n ~ Binomial(N, pc). Adding groups adds every field;
// a shorter vector counts as zeros past its end.
struct GroupSums
{
    std::uint64_t samples = 0;
    double largest = 0;           // Σ S_max
    double largestSquared = 0;    // Σ S_max²
    double squares = 0;           // Σ Σ_s s² over every cluster, the largest included
    double slope = 0;             // Σ dR/dp at pc, one term per sample (spanningSlopes)
    std::vector<double> clusters; // Σ clusters per size bin (clustersizes.h)
    std::vector<double> chi;      // Σ χ·N at n = SizeSums::chiFirst + k

    GroupSums& operator+=(const GroupSums& other);
    GroupSums& operator-=(const GroupSums& other);
};

struct SizeSums
{
    int L = 0;
    std::int64_t sites = 0;        // N
    std::int64_t chiFirst = 0;     // the occupation number of GroupSums::chi's first entry
    std::vector<GroupSums> groups; // the same group numbering at every size
};

struct ScalingInput
{
    int dimension = 2;
    std::string spanning = "wrap-mean"; // the spanning estimator behind GroupSums::slope
    std::vector<SizeSums> sizes;
    double omega = std::numeric_limits<double>::quiet_NaN(); // NaN: the dimension's known ω
    double smallestCluster = 64;                             // τ's scaling range: s from here
    double cutOff = 0.05; // … up to this fraction of ⟨S_max⟩ at each size
};

struct PowerLawFit
{
    bool valid = false;
    double exponent = std::numeric_limits<double>::quiet_NaN();
    double error = std::numeric_limits<double>::quiet_NaN();    // jackknife: the stated error
    double fitError = std::numeric_limits<double>::quiet_NaN(); // from the per-point errors
    double amplitude = std::numeric_limits<double>::quiet_NaN();
    double correction = 0; // b, or B for n_s; 0 in the plain fit
    double correctionError = std::numeric_limits<double>::quiet_NaN();
    double chiSquared = std::numeric_limits<double>::quiet_NaN();
    int dof = 0;
    double quality = std::numeric_limits<double>::quiet_NaN(); // P(χ² at least this large)
};

// One point of a log–log plot: the observable at size L against x = L, or n_s in a bin against
// x = its geometric mean s.
struct ScalingPoint
{
    int L = 0;
    double x = 0;
    double value = 0;
    double error = 0;
};

struct ExponentEstimate
{
    std::string exponent;   // "1/nu", "gamma/nu", "beta/nu", "D" or "tau"
    std::string observable; // what it comes from
    bool preferred = false; // the estimate tables show; the others are cross-checks
    PowerLawFit plain;
    PowerLawFit corrected;         // valid only where fitted
    bool correctionNeeded = false; // by the χ² test
    bool correctionUsed = false;   // in best(): where needed, and always for τ
    double known = std::numeric_limits<double>::quiet_NaN();
    double knownError = std::numeric_limits<double>::quiet_NaN();
    std::vector<ScalingPoint> points;

    const PowerLawFit& best() const { return correctionUsed ? corrected : plain; }
    double sigmas() const; // (best − known) / √(error² + known error²)
};

struct ScalingResult
{
    std::string error; // one line when the input gives no exponents; empty otherwise
    std::vector<ExponentEstimate> estimates;
    std::vector<std::string> omitted; // each observable left out, with the reason
    double hyperscaling = std::numeric_limits<double>::quiet_NaN(); // τ − (1 + d/D)
    double hyperscalingError = std::numeric_limits<double>::quiet_NaN();
};

// analyseScaling() needs at least this many sizes: the corrected fit has three parameters.
inline constexpr std::size_t MinimumScalingSizes = 4;

ScalingResult analyseScaling(const ScalingInput& input);

// The preferred estimate of an exponent, or nullptr.
const ExponentEstimate* preferredEstimate(const ScalingResult& result,
                                          const std::string& exponent);

// The known value of an exponent (named as in ExponentEstimate, or "omega") in a dimension,
// with its uncertainty, 0 where exact; NaN for one not known.
struct KnownValue
{
    double value = std::numeric_limits<double>::quiet_NaN();
    double error = std::numeric_limits<double>::quiet_NaN();
};
KnownValue knownExponent(int dimension, const std::string& exponent);

} // namespace stats
