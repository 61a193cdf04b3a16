#include "threshold.h"

#include "canonical.h"
#include "scaling.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

namespace stats {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// R at pc on the square torus (Pinson 1994; Newman & Ziff 2001).
constexpr double WrapMeanAtPc = 0.521058290;
constexpr double WrapEitherAtPc = 0.690473725;

// Corrections to the scaling of R: R(p, L) = R* + a (p − pc) L^y + b L^(−ω) + …, with
// y = 1/ν. In the plane the leading corrections of R are analytic: L^(−2) on the torus (the
// estimates of a known target then shift by L^(−11/4), Newman & Ziff 2001) and L^(−1) from
// open edges (L^(−7/4), Ziff 1992). In space the torus has the leading irrelevant exponent ω
// (Ballesteros et al. 1999), and open faces again give L^(−1).
struct Scaling
{
    double y;
    double omega;
};

Scaling scalingOf(const Geometry& g)
{
    const int d = g.dimensions();
    const double y = knownExponent(d, "1/nu").value;
    if (g.boundary == Boundary::Open)
        return {y, 1.0};
    return {y, d == 2 ? 2.0 : knownExponent(d, "omega").value};
}

// R(p) = Σ weight · (fraction of samples that show the event by n), over events of a geometry.
struct Curve
{
    std::vector<std::pair<int, double>> events; // event, weight
};

Curve directionsMean(const Geometry& g)
{
    Curve c;
    for (int e = 0; e < g.dimensions(); ++e)
        c.events.push_back({e, 1.0 / g.dimensions()});
    return c;
}

Curve curveOf(const std::string& estimator, const Geometry& g)
{
    if (estimator == "wrap-either")
        return {{{g.dimensions(), 1.0}}};
    return directionsMean(g);
}

const char* intersectionName(const Geometry& g)
{
    return g.boundary == Boundary::Torus ? "wrap-mean-intersection" : "crossing-intersection";
}

// One size's samples as the curve sees them: the weighted count of events shown by each n,
// and each jackknife group's samples apart, so that leaving a group out costs one pass over
// its own samples.
class Spanning
{
public:
    Spanning(const Totals& totals, const Curve& curve)
        : E(totals.elements()), S(static_cast<double>(totals.samples())),
          shown(static_cast<std::size_t>(E + 1), 0.0), groups(JackknifeGroups)
    {
        for (const SampleEvents& s : totals.events) {
            Group& group = groups[s.sample % JackknifeGroups];
            ++group.samples;
            for (const auto& [event, weight] : curve.events) {
                const std::int64_t n = s.firstN[static_cast<std::size_t>(event)];
                group.firsts.push_back({n, weight});
                if (n >= 0 && n <= E)
                    shown[static_cast<std::size_t>(n)] += weight;
            }
        }
        for (std::size_t n = 1; n < shown.size(); ++n)
            shown[n] += shown[n - 1];
    }

    // R at p, without group `left` (−1: with every sample).
    double at(double p, int left) const
    {
        const BinomialWindow w = binomialWindow(E, p);
        double all = 0;
        for (std::size_t k = 0; k < w.weights.size(); ++k)
            all += w.weights[k] * shown[static_cast<std::size_t>(w.first) + k];
        if (left < 0)
            return all / S;
        // P(X ≥ m) over the window: 1 below it, 0 above it.
        std::vector<double> tail(w.weights.size() + 1, 0.0);
        for (std::size_t k = w.weights.size(); k-- > 0;)
            tail[k] = tail[k + 1] + w.weights[k];
        const Group& group = groups[static_cast<std::size_t>(left)];
        double out = 0;
        for (const auto& [n, weight] : group.firsts) {
            const std::int64_t k = std::clamp<std::int64_t>(
                n - w.first, 0, static_cast<std::int64_t>(w.weights.size()));
            out += weight * tail[static_cast<std::size_t>(k)];
        }
        return (all - out) / (S - static_cast<double>(group.samples));
    }

    bool holds(std::size_t g) const { return groups[g].samples > 0; }
    // Whether some sample is left when group g is left out.
    bool leaves(std::size_t g) const { return static_cast<double>(groups[g].samples) < S; }

private:
    struct Group
    {
        std::uint64_t samples = 0;
        std::vector<std::pair<std::int64_t, double>> firsts;
    };
    std::int64_t E;
    double S;
    std::vector<double> shown;
    std::vector<Group> groups;
};

// A root of f in [a, b], where f(a) < 0 < f(b), by regula falsi with the Illinois
// modification (superlinear, and never leaving the bracket).
double solveIn(const std::function<double(double)>& f, double a, double fa, double b, double fb)
{
    double c = a;
    int side = 0;
    for (int i = 0; i < 200 && b - a > 1e-13; ++i) {
        const double previous = c;
        c = (a * fb - b * fa) / (fb - fa);
        if (!(c > a && c < b))
            c = 0.5 * (a + b);
        const double fc = f(c);
        if (fc == 0)
            return c;
        if (fc > 0) {
            b = c, fb = fc;
            if (side == 1)
                fa /= 2;
            side = 1;
        } else {
            a = c, fa = fc;
            if (side == -1)
                fb /= 2;
            side = -1;
        }
        if (i > 1 && std::abs(c - previous) < 1e-15)
            break;
    }
    return c;
}

// A root of an increasing f near `guess`: the bracket grows from guess ± step until f changes
// sign inside [low, high]. NaN when it never does.
double solveNear(const std::function<double(double)>& f, double guess, double step, double low,
                 double high)
{
    for (;; step *= 8) {
        const double a = std::max(low, guess - step);
        const double b = std::min(high, guess + step);
        const double fa = f(a);
        const double fb = f(b);
        if (fa < 0 && fb > 0)
            return solveIn(f, a, fa, b, fb);
        if (fa == 0 || fb == 0)
            return fa == 0 ? a : b;
        if (a == low && b == high)
            return NaN;
    }
}

// The jackknife error of an estimate from its replicas (NaN entries take no part).
double jackknifeError(const std::vector<double>& replicas)
{
    double G = 0;
    double mean = 0;
    for (double x : replicas)
        if (std::isfinite(x))
            mean += x, ++G;
    if (G < 2)
        return NaN;
    mean /= G;
    double squares = 0;
    for (double x : replicas)
        if (std::isfinite(x))
            squares += (x - mean) * (x - mean);
    return std::sqrt((G - 1) / G * squares);
}

// Solves for the full estimate, then for each replica near it.
ThresholdEstimate solveWithReplicas(const std::function<double(double, int)>& f,
                                    const std::function<bool(std::size_t)>& counts,
                                    double estimate, double step, double low, double high)
{
    ThresholdEstimate t;
    t.estimate = estimate;
    t.replicas.assign(JackknifeGroups, NaN);
    if (!std::isfinite(estimate))
        return t.error = NaN, t;
    for (std::size_t g = 0; g < JackknifeGroups; ++g)
        if (counts(g))
            t.replicas[g] =
                solveNear([&](double p) { return f(p, int(g)); }, estimate, step, low, high);
    t.error = jackknifeError(t.replicas);
    return t;
}

std::vector<double> linearCoefficients(const std::vector<double>& x, const std::vector<double>& w,
                                       bool slope)
{
    double sw = 0, sx = 0, sxx = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
        sw += w[i], sx += w[i] * x[i], sxx += w[i] * x[i] * x[i];
    const double det = sw * sxx - sx * sx;
    std::vector<double> a(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        a[i] = slope && det > 0 ? w[i] * (sxx - sx * x[i]) / det : w[i] / sw;
    return a;
}

struct Point
{
    double x = 0;
    const ThresholdEstimate* estimate = nullptr;
};

// pc as a linear combination of the points' estimates, the intercept of a weighted straight
// line through (x, estimate) or their weighted mean; its error from the same combination of
// each group's replicas (a point without that group keeps its full estimate).
void combine(const std::vector<Point>& points, bool slope, CombinedThreshold& out)
{
    std::vector<double> x, w;
    bool weighted = true;
    for (const Point& p : points)
        weighted = weighted && p.estimate->error > 0 && std::isfinite(p.estimate->error);
    for (const Point& p : points) {
        x.push_back(p.x);
        w.push_back(weighted ? 1 / (p.estimate->error * p.estimate->error) : 1);
    }
    const std::vector<double> a = linearCoefficients(x, w, slope && points.size() > 1);
    out.estimate = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
        out.estimate += a[i] * points[i].estimate->estimate;
    std::vector<double> replicas(JackknifeGroups, NaN);
    for (std::size_t g = 0; g < JackknifeGroups; ++g) {
        bool any = false;
        double sum = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double r =
                points[i].estimate->replicas.size() > g ? points[i].estimate->replicas[g] : NaN;
            any = any || std::isfinite(r);
            sum += a[i] * (std::isfinite(r) ? r : points[i].estimate->estimate);
        }
        if (any)
            replicas[g] = sum;
    }
    out.error = jackknifeError(replicas);
}

std::string decimal(double value)
{
    std::string text = std::to_string(value);
    while (text.size() > 1 && text.back() == '0')
        text.pop_back();
    return text;
}

CombinedThreshold combineKnownTarget(const Estimator& est, const Geometry& g,
                                     const std::vector<ThresholdEstimate>& perSize)
{
    CombinedThreshold out;
    out.estimator = est.name;
    out.target = est.kind;
    out.targetValue = est.target;
    std::vector<Point> points;
    const Scaling s = scalingOf(g);
    const double theta = s.y + s.omega;
    for (const ThresholdEstimate& e : perSize) {
        points.push_back({std::pow(double(e.L), -theta), &e});
        out.sizes.push_back(e.L);
    }
    const bool fit = est.kind == TargetKind::Limit && points.size() > 1;
    combine(points, fit, out);
    if (est.kind == TargetKind::Exact)
        out.rule = points.size() > 1
                       ? "weighted mean over the sizes, as the target holds at every size"
                       : "one size, where the target holds exactly";
    else if (fit) {
        out.correctionExponent = theta;
        out.rule = "fit of pc + a·L^(−" + decimal(theta) + ") weighted by the sizes' errors";
    } else
        out.rule = "one size, with no correction for its finite-size shift";
    return out;
}

CombinedThreshold combineIntersections(const Geometry& g,
                                       const std::vector<ThresholdEstimate>& pairs)
{
    CombinedThreshold out;
    out.estimator = intersectionName(g);
    out.target = TargetKind::Estimated;
    out.targetValue = NaN;
    const Scaling s = scalingOf(g);
    std::vector<Point> points;
    for (const ThresholdEstimate& e : pairs) {
        // Where R* + a (p − pc) L^y + b L^(−ω) meets the same at L' = bL.
        const double ratio = double(e.L2) / double(e.L);
        const double x = std::pow(double(e.L), -(s.y + s.omega)) *
                         (1 - std::pow(ratio, -s.omega)) / (std::pow(ratio, s.y) - 1);
        points.push_back({x, &e});
        if (out.sizes.empty())
            out.sizes.push_back(e.L);
        out.sizes.push_back(e.L2);
    }
    const bool fit = points.size() > 1;
    combine(points, fit, out);
    if (fit) {
        out.correctionExponent = s.y + s.omega;
        out.rule = "fit of the intersections of successive sizes L < L' as pc + a·x, "
                   "x = L^(−(y+ω))·(1 − b^(−ω))/(b^y − 1), b = L'/L, y = 1/ν = " +
                   decimal(s.y) + ", ω = " + decimal(s.omega);
    } else {
        out.rule = "the intersection of one pair of sizes, with no correction for its shift";
    }
    return out;
}

} // namespace

double knownThreshold(Lattice lattice, Model model)
{
    const double triangularBond = 2 * std::sin(std::numbers::pi / 18);
    const bool site = model == Model::Site;
    switch (lattice) {
    case Lattice::Square:
        return site ? 0.59274605079 : 0.5;
    case Lattice::Triangular:
        return site ? 0.5 : triangularBond;
    case Lattice::Honeycomb:
        return site ? 0.6970402 : 1 - triangularBond;
    case Lattice::Cubic:
        return site ? 0.3116077 : 0.2488118;
    }
    return NaN;
}

const char* targetKindName(TargetKind kind)
{
    switch (kind) {
    case TargetKind::Exact:
        return "exact";
    case TargetKind::Limit:
        return "known";
    case TargetKind::Estimated:
        return "estimated";
    }
    return "";
}

std::vector<Estimator> estimatorsFor(const Geometry& g)
{
    if (g.dimensions() == 2 && g.boundary == Boundary::Open) {
        const bool selfDual = g.lattice == Lattice::Triangular && g.model == Model::Site;
        return {{"crossing", selfDual ? TargetKind::Exact : TargetKind::Limit, 0.5}};
    }
    if (g.lattice == Lattice::Square && g.boundary == Boundary::Torus)
        return {{"wrap-mean", TargetKind::Limit, WrapMeanAtPc},
                {"wrap-either", TargetKind::Limit, WrapEitherAtPc}};
    return {{intersectionName(g), TargetKind::Estimated, NaN}};
}

const char* preferredEstimator(const Geometry& g)
{
    if (g.dimensions() == 2 && g.boundary == Boundary::Open)
        return "crossing";
    if (g.lattice == Lattice::Square && g.boundary == Boundary::Torus)
        return "wrap-mean";
    return intersectionName(g);
}

std::vector<ThresholdEstimate> estimateThreshold(const Totals& totals)
{
    const Geometry g = totals.geometry();
    std::vector<ThresholdEstimate> out;
    for (const Estimator& est : estimatorsFor(g)) {
        if (est.kind == TargetKind::Estimated)
            continue;
        const Spanning R(totals, curveOf(est.name, g));
        const auto f = [&](double p, int left) { return R.at(p, left) - est.target; };
        ThresholdEstimate t;
        if (totals.samples() >= 2) {
            const double estimate = solveNear([&](double p) { return f(p, -1); }, 0.5, 0.5, 0, 1);
            // The replicas lie within a few errors of the estimate, well inside 1/E of it.
            t = solveWithReplicas(
                f, [&](std::size_t k) { return R.holds(k) && R.leaves(k); }, estimate,
                1.0 / double(totals.elements()), 0, 1);
        } else {
            t.estimate = t.error = NaN;
        }
        t.L = totals.L;
        t.estimator = est.name;
        out.push_back(std::move(t));
    }
    return out;
}

ThresholdEstimate intersectionOf(const Totals& smaller, const Totals& larger)
{
    const Geometry g = smaller.geometry();
    const Curve curve = directionsMean(g);
    const Spanning R1(smaller, curve);
    const Spanning R2(larger, curve);
    const auto f = [&](double p, int left) { return R2.at(p, left) - R1.at(p, left); };
    ThresholdEstimate t;
    t.L = smaller.L;
    t.L2 = larger.L;
    t.estimator = intersectionName(g);
    t.estimate = t.error = NaN;
    if (smaller.samples() < 2 || larger.samples() < 2)
        return t;
    // The smaller size's curve rises over the wider range; between its 1 % and 99 % points the
    // larger size's curve falls below it, then rises above it. The intersection is the sign
    // change between the lowest and the highest difference on a grid.
    const auto R1at = [&](double p) { return R1.at(p, -1); };
    const double low = solveNear([&](double p) { return R1at(p) - 0.01; }, 0.5, 0.5, 0, 1);
    const double high = solveNear([&](double p) { return R1at(p) - 0.99; }, 0.5, 0.5, 0, 1);
    if (!(low < high))
        return t;
    constexpr int Points = 64;
    std::vector<double> ps, fs;
    for (int k = 0; k <= Points; ++k) {
        ps.push_back(low + (high - low) * k / Points);
        fs.push_back(f(ps.back(), -1));
    }
    const auto lowest = std::min_element(fs.begin(), fs.end()) - fs.begin();
    const auto highest = std::max_element(fs.begin(), fs.end()) - fs.begin();
    if (!(fs[std::size_t(lowest)] < 0 && fs[std::size_t(highest)] > 0 && lowest < highest))
        return t;
    auto k = static_cast<std::size_t>(lowest);
    while (fs[k + 1] < 0)
        ++k;
    const auto full = [&](double p) { return f(p, -1); };
    const double estimate =
        fs[k + 1] == 0 ? ps[k + 1] : solveIn(full, ps[k], fs[k], ps[k + 1], fs[k + 1]);
    const ThresholdEstimate solved = solveWithReplicas(
        f,
        [&](std::size_t j) {
            return (R1.holds(j) || R2.holds(j)) && R1.leaves(j) && R2.leaves(j);
        },
        estimate, (high - low) / Points / 4, low, high);
    t.estimate = solved.estimate;
    t.error = solved.error;
    t.replicas = solved.replicas;
    return t;
}

ThresholdReport estimateThreshold(const std::vector<const Totals*>& sizes,
                                  const std::vector<std::vector<ThresholdEstimate>>* perSize)
{
    ThresholdReport report;
    std::vector<const Totals*> used;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i]->samples() < 2)
            continue;
        used.push_back(sizes[i]);
        if (perSize != nullptr && i < perSize->size() && !(*perSize)[i].empty())
            report.estimates.insert(report.estimates.end(), (*perSize)[i].begin(),
                                    (*perSize)[i].end());
        else {
            const std::vector<ThresholdEstimate> own = estimateThreshold(*sizes[i]);
            report.estimates.insert(report.estimates.end(), own.begin(), own.end());
        }
    }
    if (used.empty()) {
        report.combined.missing = "no size has two samples yet";
        return report;
    }
    const Geometry g = used.front()->geometry();
    if (estimatorsFor(g).front().kind == TargetKind::Estimated) {
        if (used.size() < 2) {
            report.combined.missing = "R at pc is not known here: the estimate needs two sizes";
            return report;
        }
        for (std::size_t i = 0; i + 1 < used.size(); ++i) {
            report.estimates.push_back(intersectionOf(*used[i], *used[i + 1]));
            // A fit through pairs that skip a size would not be of successive sizes.
            if (!std::isfinite(report.estimates.back().estimate)) {
                report.combined.missing = "the curves of L = " + std::to_string(used[i]->L) +
                                          " and " + std::to_string(used[i + 1]->L) +
                                          " do not intersect";
                return report;
            }
        }
    }
    report.combined = combineThreshold(g, report.estimates);
    return report;
}

CombinedThreshold combineThreshold(const Geometry& g,
                                   const std::vector<ThresholdEstimate>& estimates)
{
    const Estimator preferred = estimatorsFor(g).front();
    std::vector<ThresholdEstimate> chosen;
    for (const ThresholdEstimate& e : estimates)
        if (e.estimator == preferred.name && std::isfinite(e.estimate))
            chosen.push_back(e);
    if (chosen.empty()) {
        CombinedThreshold none;
        none.missing = "no size gives an estimate";
        return none;
    }
    return preferred.kind == TargetKind::Estimated ? combineIntersections(g, chosen)
                                                   : combineKnownTarget(preferred, g, chosen);
}

} // namespace stats
