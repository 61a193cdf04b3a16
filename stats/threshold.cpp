#include "threshold.h"

#include "canonical.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace stats {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Enough groups for a stable jackknife variance, few enough that each holds many samples.
constexpr std::uint64_t JackknifeGroups = 32;

struct Estimator
{
    const char* name;
    std::array<double, EventCount> mix; // R(p) = Σ mix[e] R_e(p)
    double target;
};

std::vector<Estimator> estimatorsFor(Boundary boundary)
{
    if (boundary == Boundary::Open)
        return {{"crossing", {0.5, 0.5, 0, 0}, 0.5}};
    return {{"wrap-mean", {0.5, 0.5, 0, 0}, 0.521058290},
            {"wrap-either", {0, 0, 1, 0}, 0.690473725}};
}

// For each event, how many of the chosen samples show it by n, for n = 0 … N.
using Cumulative = std::array<std::vector<double>, EventCount>;

// The counts over all samples less those of the samples left out, for the events the estimator
// uses: leaving a group out then costs one pass over n, not a copy of every count.
Cumulative shownWithout(const Estimator& est,
                        const std::array<std::vector<std::int64_t>, EventCount>& all,
                        const std::vector<const SampleEvents*>& leftOut)
{
    Cumulative c;
    for (std::size_t e = 0; e < EventCount; ++e) {
        if (est.mix[e] == 0)
            continue;
        std::vector<std::int64_t> out(all[e].size());
        for (const SampleEvents* s : leftOut)
            if (s->firstN[e] >= 0 && static_cast<std::size_t>(s->firstN[e]) < out.size())
                ++out[static_cast<std::size_t>(s->firstN[e])];
        c[e].resize(all[e].size());
        std::int64_t passed = 0;
        for (std::size_t n = 0; n < all[e].size(); ++n) {
            passed += out[n];
            c[e][n] = static_cast<double>(all[e][n] - passed);
        }
    }
    return c;
}

double solve(const Estimator& est, const Cumulative& shown, double samples, std::int64_t N)
{
    auto R = [&](double p) {
        const BinomialWindow w = binomialWindow(N, p);
        double r = 0;
        for (std::size_t e = 0; e < EventCount; ++e) {
            if (est.mix[e] == 0)
                continue;
            double q = 0;
            for (std::size_t k = 0; k < w.weights.size(); ++k)
                q += w.weights[k] * shown[e][static_cast<std::size_t>(w.first) + k];
            r += est.mix[e] * q / samples;
        }
        return r;
    };
    // R rises monotonically from 0 to 1, so bisection converges to its crossing of the target.
    double lo = 0;
    double hi = 1;
    for (int i = 0; i < 52 && hi - lo > 1e-14; ++i) {
        const double mid = 0.5 * (lo + hi);
        (R(mid) < est.target ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

} // namespace

std::vector<ThresholdEstimate> estimateThreshold(const Totals& totals)
{
    const std::int64_t N = totals.siteCount();
    const std::uint64_t S = totals.samples();
    const auto entries = static_cast<std::size_t>(N + 1);
    const std::uint64_t groups = std::min<std::uint64_t>(JackknifeGroups, S);

    // How many samples show each event by n, and the first n of each jackknife group's samples
    // (sample number modulo the group count, so the same samples always form the same groups).
    std::array<std::vector<std::int64_t>, EventCount> all;
    for (auto& v : all)
        v.assign(entries, 0);
    std::vector<std::vector<const SampleEvents*>> members(groups > 1 ? groups : 0);
    for (const SampleEvents& s : totals.events) {
        for (std::size_t e = 0; e < EventCount; ++e)
            if (s.firstN[e] >= 0 && s.firstN[e] <= N)
                ++all[e][static_cast<std::size_t>(s.firstN[e])];
        if (groups > 1)
            members[s.sample % groups].push_back(&s);
    }
    for (auto& v : all)
        for (std::size_t n = 1; n < v.size(); ++n)
            v[n] += v[n - 1];
    // Sample numbers need not be consecutive: a group may be empty.
    std::erase_if(members, [](const auto& m) { return m.empty(); });

    std::vector<ThresholdEstimate> out;
    for (const Estimator& est : estimatorsFor(totals.boundary)) {
        ThresholdEstimate t;
        t.L = totals.L;
        t.estimator = est.name;
        if (S == 0) {
            t.estimate = t.error = NaN;
            out.push_back(t);
            continue;
        }
        t.estimate = solve(est, shownWithout(est, all, {}), static_cast<double>(S), N);
        t.error = NaN;
        if (members.size() > 1) {
            std::vector<double> leaveOneOut;
            for (const auto& samples : members)
                leaveOneOut.push_back(solve(est, shownWithout(est, all, samples),
                                            static_cast<double>(S - samples.size()), N));
            const auto G = static_cast<double>(leaveOneOut.size());
            double mean = 0;
            for (double x : leaveOneOut)
                mean += x;
            mean /= G;
            double squares = 0;
            for (double x : leaveOneOut)
                squares += (x - mean) * (x - mean);
            t.error = std::sqrt((G - 1) / G * squares);
        }
        out.push_back(t);
    }
    return out;
}

ThresholdEstimate combineSizes(const std::vector<ThresholdEstimate>& perSize, double theta)
{
    if (perSize.empty())
        return {0, "", NaN, NaN};
    ThresholdEstimate combined;
    combined.estimator = perSize.front().estimator;
    if (perSize.size() < 2) {
        combined = perSize.front();
        combined.L = 0;
        return combined;
    }
    // Weighted least squares for pc + a·x with x = L^(−θ) and weights 1/σ²; pc's error is the
    // square root of its entry in the inverse of the normal matrix.
    double sw = 0, sx = 0, sxx = 0, sy = 0, sxy = 0;
    for (const ThresholdEstimate& e : perSize) {
        const double w = e.error > 0 && std::isfinite(e.error) ? 1 / (e.error * e.error) : 1;
        const double x = std::pow(static_cast<double>(e.L), -theta);
        sw += w;
        sx += w * x;
        sxx += w * x * x;
        sy += w * e.estimate;
        sxy += w * x * e.estimate;
    }
    const double det = sw * sxx - sx * sx;
    if (!(det > 0)) {
        combined.estimate = sy / sw;
        combined.error = 1 / std::sqrt(sw);
        return combined;
    }
    combined.estimate = (sxx * sy - sx * sxy) / det;
    combined.error = std::sqrt(sxx / det);
    return combined;
}

const char* preferredEstimator(Boundary boundary)
{
    return boundary == Boundary::Torus ? "wrap-mean" : "crossing";
}

double correctionExponent(Boundary boundary)
{
    return boundary == Boundary::Torus ? 11.0 / 4.0 : 7.0 / 4.0;
}

} // namespace stats
