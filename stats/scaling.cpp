#include "scaling.h"

#include "canonicalwindow.h"
#include "clustersizes.h"
#include "leastsquares.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <sstream>

namespace stats {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Four sizes leave one degree of freedom to the fit with a correction term.
constexpr double CorrectionSignificance = 6.63;

// 2D, exact for every lattice and model (M. den Nijs, J. Phys. A 12, 1857 (1979); B. Nienhuis,
// J. Phys. A 15, 199 (1982)), with ω = 3/2 (R. M. Ziff, PRE 83, 020107 (2011)). 3D simple
// cubic: 1/ν and D from X. Wang, Z. Zhou, W. Zhang, T. M. Garoni and Y. Deng, PRE 87, 052107
// (2013), the others from D by scaling relations; ω from H. G. Ballesteros et al., J. Phys. A
// 32, 1 (1999).
struct KnownRow
{
    const char* exponent;
    KnownValue two;
    KnownValue three;
};
constexpr KnownRow KnownValues[] = {
    {"1/nu", {3.0 / 4, 0}, {1.141, 0.002}},         {"beta/nu", {5.0 / 48, 0}, {0.4771, 0.0001}},
    {"gamma/nu", {43.0 / 24, 0}, {2.0458, 0.0002}}, {"D", {91.0 / 48, 0}, {2.5229, 0.0001}},
    {"tau", {187.0 / 91, 0}, {2.1891, 0.0001}},     {"omega", {3.0 / 2, 0}, {1.61, 0.05}},
};

void addInto(std::vector<double>& to, const std::vector<double>& from, double sign)
{
    if (to.size() < from.size())
        to.resize(from.size(), 0);
    for (std::size_t k = 0; k < from.size(); ++k)
        to[k] += sign * from[k];
}

double jackknifeError(const std::vector<double>& leftOut)
{
    const auto G = static_cast<double>(leftOut.size());
    if (leftOut.size() < 2)
        return NaN;
    double mean = 0, squares = 0;
    for (double x : leftOut)
        mean += x / G;
    for (double x : leftOut)
        squares += (x - mean) * (x - mean);
    return std::sqrt((G - 1) / G * squares);
}

// An observable of one size's summed groups: one value, or one per bin.
using Observable = std::function<std::vector<double>(const SizeSums&, const GroupSums&)>;

// A value with all groups, with each active group left out (the size's value itself where the
// group has no samples there), and its jackknife error over the size's own groups.
struct Point
{
    ScalingPoint shown;
    std::vector<double> leftOut;
    int bin = -1;
};

std::vector<Point> replicate(const SizeSums& size, const std::vector<std::size_t>& active,
                             const Observable& f)
{
    GroupSums total;
    for (const GroupSums& g : size.groups)
        total += g;
    const std::vector<double> all = f(size, total);
    std::vector<Point> points(all.size());
    std::vector<std::vector<double>> own(all.size());
    for (std::size_t k = 0; k < all.size(); ++k)
        points[k].shown = {size.L, static_cast<double>(size.L), all[k], NaN};
    for (std::size_t g : active) {
        const bool present = g < size.groups.size() && size.groups[g].samples > 0;
        std::vector<double> values = all;
        if (present) {
            GroupSums rest = total;
            rest -= size.groups[g];
            values = f(size, rest);
            values.resize(all.size(), NaN);
        }
        for (std::size_t k = 0; k < all.size(); ++k) {
            points[k].leftOut.push_back(values[k]);
            if (present)
                own[k].push_back(values[k]);
        }
    }
    for (std::size_t k = 0; k < all.size(); ++k)
        points[k].shown.error = jackknifeError(own[k]);
    return points;
}

bool usable(const Point& p)
{
    auto positive = [](double v) { return v > 0 && std::isfinite(v); };
    return positive(p.shown.value) && positive(p.shown.error) &&
           std::all_of(p.leftOut.begin(), p.leftOut.end(), positive);
}

// A fit of log values with all groups, and refitted with each active group left out.
struct Replicated
{
    LeastSquaresFit all;
    std::vector<std::vector<double>> leftOut;
    bool valid = false;
};

Replicated fitReplicated(const FitModel& model, const std::vector<Point>& points,
                         const std::vector<double>& start)
{
    std::vector<double> y, sigma;
    for (const Point& p : points) {
        y.push_back(std::log(p.shown.value));
        sigma.push_back(p.shown.error / p.shown.value);
    }
    Replicated r;
    r.all = fitLeastSquares(model, y, sigma, start);
    r.valid = r.all.converged;
    for (std::size_t g = 0; r.valid && g < points.front().leftOut.size(); ++g) {
        for (std::size_t i = 0; i < points.size(); ++i)
            y[i] = std::log(points[i].leftOut[g]);
        const LeastSquaresFit fit = fitLeastSquares(model, y, sigma, r.all.parameters);
        r.valid = fit.converged;
        r.leftOut.push_back(fit.parameters);
    }
    return r;
}

// Parameters: θ₀ = log a, θ₁ the exponent (times sign), θ₂ the correction's amplitude.
PowerLawFit summarise(const Replicated& r, double sign)
{
    PowerLawFit f;
    f.valid = r.valid;
    if (!r.valid)
        return f;
    const std::vector<double>& theta = r.all.parameters;
    std::vector<double> exponents;
    for (const std::vector<double>& t : r.leftOut)
        exponents.push_back(sign * t[1]);
    f.exponent = sign * theta[1];
    f.error = jackknifeError(exponents);
    f.fitError = std::sqrt(r.all.covariance[1][1]);
    f.amplitude = std::exp(theta[0]);
    if (theta.size() > 2) {
        f.correction = theta[2];
        f.correctionError = std::sqrt(r.all.covariance[2][2]);
    }
    f.chiSquared = r.all.chiSquared;
    f.dof = r.all.dof;
    f.quality = chiSquaredQuality(f.chiSquared, f.dof);
    return f;
}

// An estimate, and its best fit's exponent with each active group left out.
struct Fitted
{
    ExponentEstimate estimate;
    std::vector<double> leftOut;
};

// The plain fit, and the corrected one when four points or more allow it. `plainModel` and
// `correctedModel` predict log values from (θ₀, θ₁) and (θ₀, θ₁, θ₂).
Fitted fitBoth(ExponentEstimate e, const std::vector<Point>& points, double sign,
               const FitModel& plainModel, const FitModel& correctedModel, double theta1,
               bool alwaysCorrected)
{
    double theta0 = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
        theta0 += (std::log(points[i].shown.value) - plainModel(i, {0, theta1})) /
                  static_cast<double>(points.size());
    const Replicated plain = fitReplicated(plainModel, points, {theta0, theta1});
    Replicated corrected;
    e.plain = summarise(plain, sign);
    if (plain.valid && points.size() >= MinimumScalingSizes && correctedModel) {
        corrected = fitReplicated(correctedModel, points,
                                  {plain.all.parameters[0], plain.all.parameters[1], 0});
        e.corrected = summarise(corrected, sign);
        e.correctionNeeded = e.corrected.valid &&
                             e.plain.chiSquared - e.corrected.chiSquared > CorrectionSignificance;
        e.correctionUsed = e.corrected.valid && (e.correctionNeeded || alwaysCorrected);
    }
    for (const Point& p : points)
        e.points.push_back(p.shown);
    Fitted f{std::move(e), {}};
    for (const auto& t : (f.estimate.correctionUsed ? corrected : plain).leftOut)
        f.leftOut.push_back(sign * t[1]);
    return f;
}

struct Ratio
{
    const char* exponent;
    std::string observable;
    bool preferred;
    double sign; // the exponent is sign × the slope of log O against log L
    std::function<double(const SizeSums&, const GroupSums&)> value;
};

std::vector<Ratio> ratios(const std::string& spanning)
{
    auto mean = [](double sum, const GroupSums& g) {
        return sum / static_cast<double>(g.samples);
    };
    auto sites = [](const SizeSums& s) { return static_cast<double>(s.sites); };
    return {
        {"1/nu", "dR/dp at pc (R: " + spanning + ")", true, 1,
         [=](const SizeSums&, const GroupSums& g) { return mean(g.slope, g); }},
        {"gamma/nu", "<S_max^2>/N at pc", true, 1,
         [=](const SizeSums& s, const GroupSums& g) {
             return mean(g.largestSquared, g) / sites(s);
         }},
        {"gamma/nu", "sum_s s^2/N at pc", false, 1,
         [=](const SizeSums& s, const GroupSums& g) { return mean(g.squares, g) / sites(s); }},
        {"gamma/nu", "chi at pc (largest cluster left out)", false, 1,
         [=](const SizeSums& s, const GroupSums& g) {
             return mean(g.squares - g.largestSquared, g) / sites(s);
         }},
        {"gamma/nu", "max over p of chi (largest cluster left out)", false, 1,
         [=](const SizeSums& s, const GroupSums& g) {
             std::vector<double> perN(g.chi.size());
             for (std::size_t k = 0; k < perN.size(); ++k)
                 perN[k] = mean(g.chi[k], g) / sites(s);
             return canonicalPeak(perN, s.chiFirst, s.sites).value;
         }},
        {"beta/nu", "<S_max>/N at pc", true, -1,
         [=](const SizeSums& s, const GroupSums& g) { return mean(g.largest, g) / sites(s); }},
        {"D", "<S_max> at pc", true, 1,
         [=](const SizeSums&, const GroupSums& g) { return mean(g.largest, g); }},
    };
}

std::string checkInput(const ScalingInput& in, const std::vector<std::size_t>& active)
{
    if (in.dimension < 1)
        return "the dimension must be at least 1, not " + std::to_string(in.dimension);
    if (in.sizes.size() < MinimumScalingSizes)
        return "finite-size scaling needs at least " + std::to_string(MinimumScalingSizes) +
               " sizes; there " + (in.sizes.size() == 1 ? "is " : "are ") +
               std::to_string(in.sizes.size());
    if (!std::isnan(in.omega) && !(in.omega > 0 && std::isfinite(in.omega)))
        return "the correction exponent omega must be positive";
    if (!(in.smallestCluster >= 1 && in.cutOff > 0 && in.cutOff <= 1))
        return "the scaling range of n_s needs a smallest size of at least 1 and a cut-off in "
               "(0, 1]";
    std::set<int> seen;
    for (const SizeSums& s : in.sizes) {
        const std::string name = "L = " + std::to_string(s.L);
        if (s.L < 1 || s.sites < 1)
            return name + " has no sites";
        if (!seen.insert(s.L).second)
            return name + " appears twice";
        if (std::count_if(s.groups.begin(), s.groups.end(),
                          [](const GroupSums& g) { return g.samples > 0; }) < 2)
            return name + " has samples in fewer than 2 jackknife groups";
    }
    return active.size() < 2 ? "fewer than 2 jackknife groups have samples" : "";
}

ExponentEstimate named(const char* exponent, const std::string& observable, bool preferred,
                       const ScalingInput& in)
{
    ExponentEstimate e;
    e.exponent = exponent;
    e.observable = observable;
    e.preferred = preferred;
    const KnownValue k = knownExponent(in.dimension, exponent);
    e.known = k.value;
    e.knownError = k.error;
    return e;
}

// τ from n_s bin by bin, at every size over the scaling range, and hyperscaling's τ beside it.
void fitClusterSizes(const ScalingInput& in, const std::vector<SizeSums>& sizes,
                     const std::vector<std::size_t>& active, double Omega, const Fitted& fractal,
                     ScalingResult& result)
{
    std::vector<Point> points;
    const Observable density = [](const SizeSums& s, const GroupSums& g) {
        return binnedDensity(g.clusters, static_cast<double>(g.samples),
                             static_cast<double>(s.sites));
    };
    for (const SizeSums& s : sizes) {
        GroupSums total;
        for (const GroupSums& g : s.groups)
            total += g;
        const double cutOff = in.cutOff * total.largest / static_cast<double>(total.samples);
        std::vector<Point> bins = replicate(s, active, density);
        for (std::size_t b = 0; b < bins.size(); ++b) {
            const auto bin = static_cast<int>(b);
            const auto first = static_cast<double>(binFirst(bin));
            const auto last = static_cast<double>(binLast(bin));
            if (first < in.smallestCluster || last > cutOff || !usable(bins[b]))
                continue;
            bins[b].bin = bin;
            bins[b].shown.x = std::sqrt(first * last);
            points.push_back(bins[b]);
        }
    }
    if (points.size() < 3) {
        result.omitted.push_back("n_s: fewer than 3 bins in the scaling range");
        return;
    }
    // log n̄_bin = θ₀ + log(mean over the bin of s^(−θ₁)·(1 + θ₂·s^(−Ω))).
    const FitModel plain = [&](std::size_t i, const std::vector<double>& t) {
        return t[0] + std::log(binMeanPowerLaw(points[i].bin, t[1], 0, Omega));
    };
    FitModel corrected;
    if (std::isfinite(Omega))
        corrected = [&](std::size_t i, const std::vector<double>& t) {
            return t[0] + std::log(binMeanPowerLaw(points[i].bin, t[1], t[2], Omega));
        };
    std::ostringstream range;
    range << "n_s at pc, s from " << in.smallestCluster << " to " << in.cutOff << " <S_max>";
    const Fitted tau =
        fitBoth(named("tau", range.str(), true, in), points, 1, plain, corrected, 2, true);
    result.estimates.push_back(tau.estimate);

    ExponentEstimate h = named("tau", "1 + d/D (hyperscaling, D from <S_max>)", false, in);
    const double d = in.dimension;
    h.plain.valid = tau.estimate.best().valid;
    h.plain.exponent = 1 + d / fractal.estimate.best().exponent;
    std::vector<double> hyper, difference;
    for (std::size_t g = 0; g < tau.leftOut.size() && g < fractal.leftOut.size(); ++g) {
        hyper.push_back(1 + d / fractal.leftOut[g]);
        difference.push_back(tau.leftOut[g] - hyper.back());
    }
    h.plain.error = jackknifeError(hyper);
    result.hyperscaling = tau.estimate.best().exponent - h.plain.exponent;
    result.hyperscalingError = jackknifeError(difference);
    result.estimates.push_back(std::move(h));
}

} // namespace

GroupSums& GroupSums::operator+=(const GroupSums& other)
{
    samples += other.samples;
    largest += other.largest;
    largestSquared += other.largestSquared;
    squares += other.squares;
    slope += other.slope;
    addInto(clusters, other.clusters, 1);
    addInto(chi, other.chi, 1);
    return *this;
}

GroupSums& GroupSums::operator-=(const GroupSums& other)
{
    samples -= other.samples;
    largest -= other.largest;
    largestSquared -= other.largestSquared;
    squares -= other.squares;
    slope -= other.slope;
    addInto(clusters, other.clusters, -1);
    addInto(chi, other.chi, -1);
    return *this;
}

double ExponentEstimate::sigmas() const
{
    const PowerLawFit& f = best();
    return (f.exponent - known) / std::sqrt(f.error * f.error + knownError * knownError);
}

KnownValue knownExponent(int dimension, const std::string& exponent)
{
    for (const KnownRow& row : KnownValues)
        if (exponent == row.exponent && (dimension == 2 || dimension == 3))
            return dimension == 2 ? row.two : row.three;
    return {};
}

const ExponentEstimate* preferredEstimate(const ScalingResult& result, const std::string& exponent)
{
    for (const ExponentEstimate& e : result.estimates)
        if (e.preferred && e.exponent == exponent)
            return &e;
    return nullptr;
}

ScalingResult analyseScaling(const ScalingInput& in)
{
    ScalingResult result;
    std::vector<std::size_t> active;
    for (const SizeSums& s : in.sizes)
        for (std::size_t g = 0; g < s.groups.size(); ++g)
            if (s.groups[g].samples > 0 &&
                std::find(active.begin(), active.end(), g) == active.end())
                active.push_back(g);
    std::sort(active.begin(), active.end());
    if (result.error = checkInput(in, active); !result.error.empty())
        return result;

    std::vector<SizeSums> sizes = in.sizes;
    std::sort(sizes.begin(), sizes.end(),
              [](const SizeSums& a, const SizeSums& b) { return a.L < b.L; });
    const double omega =
        std::isnan(in.omega) ? knownExponent(in.dimension, "omega").value : in.omega;

    // log O = θ₀ + θ₁·log L (+ log(1 + θ₂·L^(−ω))).
    std::vector<Point> points;
    const FitModel plain = [&](std::size_t i, const std::vector<double>& t) {
        return t[0] + t[1] * std::log(points[i].shown.x);
    };
    FitModel corrected;
    if (std::isfinite(omega))
        corrected = [&](std::size_t i, const std::vector<double>& t) {
            const double L = points[i].shown.x;
            return t[0] + t[1] * std::log(L) + std::log1p(t[2] * std::pow(L, -omega));
        };
    Fitted fractal; // D, which τ's correction and hyperscaling need
    for (const Ratio& ratio : ratios(in.spanning)) {
        points.clear();
        const Observable f = [&](const SizeSums& s, const GroupSums& g) {
            return std::vector<double>{ratio.value(s, g)};
        };
        for (const SizeSums& s : sizes)
            points.push_back(replicate(s, active, f).front());
        if (!std::all_of(points.begin(), points.end(), usable)) {
            result.omitted.push_back(ratio.observable + ": not measured at every size");
            continue;
        }
        Fitted fitted = fitBoth(named(ratio.exponent, ratio.observable, ratio.preferred, in),
                                points, ratio.sign, plain, corrected, 0, false);
        result.estimates.push_back(fitted.estimate);
        if (ratio.exponent == std::string("D") && fitted.estimate.best().valid)
            fractal = std::move(fitted);
    }
    if (fractal.estimate.best().valid)
        fitClusterSizes(in, sizes, active, omega / fractal.estimate.best().exponent, fractal,
                        result);
    else
        result.omitted.push_back("n_s: needs D from <S_max>");
    if (result.estimates.empty())
        result.error = "the result holds none of the observables finite-size scaling needs";
    return result;
}

} // namespace stats
