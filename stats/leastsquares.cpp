#include "leastsquares.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace stats {

namespace {

// m × m, row by row.
using Matrix = std::vector<double>;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Gaussian elimination with partial pivoting; the systems here have two or three unknowns.
bool solve(Matrix a, std::vector<double> b, std::vector<double>& x)
{
    const std::size_t m = b.size();
    auto at = [&](std::size_t r, std::size_t c) -> double& { return a[r * m + c]; };
    for (std::size_t c = 0; c < m; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < m; ++r)
            if (std::abs(at(r, c)) > std::abs(at(pivot, c)))
                pivot = r;
        if (!(std::abs(at(pivot, c)) > 0))
            return false;
        for (std::size_t k = 0; k < m; ++k)
            std::swap(at(c, k), at(pivot, k));
        std::swap(b[c], b[pivot]);
        for (std::size_t r = c + 1; r < m; ++r) {
            const double f = at(r, c) / at(c, c);
            for (std::size_t k = c; k < m; ++k)
                at(r, k) -= f * at(c, k);
            b[r] -= f * b[c];
        }
    }
    x.assign(m, 0);
    for (std::size_t c = m; c-- > 0;) {
        double sum = b[c];
        for (std::size_t k = c + 1; k < m; ++k)
            sum -= at(c, k) * x[k];
        x[c] = sum / at(c, c);
    }
    return std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); });
}

double chiSquaredAt(const FitModel& model, const std::vector<double>& y,
                    const std::vector<double>& sigma, const std::vector<double>& theta)
{
    double chi2 = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double r = (y[i] - model(i, theta)) / sigma[i];
        chi2 += r * r;
    }
    return std::isfinite(chi2) ? chi2 : NaN;
}

// JᵀWJ and JᵀW(y − f) at θ.
void normalEquations(const FitModel& model, const std::vector<double>& y,
                     const std::vector<double>& sigma, const std::vector<double>& theta, Matrix& a,
                     std::vector<double>& g)
{
    const std::size_t n = y.size(), m = theta.size();
    std::vector<double> jacobian(n * m), shifted = theta;
    for (std::size_t j = 0; j < m; ++j) {
        // Central differences: an error of order h², far below any parameter's statistical one.
        const double h = 1e-6 * std::max(1.0, std::abs(theta[j]));
        for (std::size_t i = 0; i < n; ++i) {
            shifted[j] = theta[j] + h;
            const double up = model(i, shifted);
            shifted[j] = theta[j] - h;
            jacobian[i * m + j] = (up - model(i, shifted)) / (2 * h) / sigma[i];
        }
        shifted[j] = theta[j];
    }
    a.assign(m * m, 0);
    g.assign(m, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const double r = (y[i] - model(i, theta)) / sigma[i];
        const double* row = &jacobian[i * m];
        for (std::size_t j = 0; j < m; ++j) {
            g[j] += row[j] * r;
            for (std::size_t k = 0; k < m; ++k)
                a[j * m + k] += row[j] * row[k];
        }
    }
}

} // namespace

LeastSquaresFit fitLeastSquares(const FitModel& model, const std::vector<double>& y,
                                const std::vector<double>& sigma, std::vector<double> theta)
{
    LeastSquaresFit fit;
    const std::size_t m = theta.size();
    fit.dof = static_cast<int>(y.size()) - static_cast<int>(m);
    double chi2 = chiSquaredAt(model, y, sigma, theta);
    Matrix a;
    std::vector<double> g, step;
    bool settled = false;
    double lambda = 1e-4;
    for (int iteration = 0; iteration < 200 && std::isfinite(chi2) && !settled; ++iteration) {
        normalEquations(model, y, sigma, theta, a, g);
        settled = true; // unless a step downhill is found
        for (; lambda < 1e12; lambda *= 10) {
            Matrix damped = a;
            for (std::size_t j = 0; j < m; ++j)
                damped[j * m + j] += lambda * a[j * m + j];
            if (!solve(damped, g, step))
                continue;
            std::vector<double> trial = theta;
            double largest = 0;
            for (std::size_t j = 0; j < m; ++j) {
                trial[j] += step[j];
                largest = std::max(largest, std::abs(step[j]) / (std::abs(theta[j]) + 1e-10));
            }
            const double c = chiSquaredAt(model, y, sigma, trial);
            if (!(c <= chi2))
                continue;
            settled = largest < 1e-10 || chi2 - c <= 1e-13 * chi2;
            theta = std::move(trial);
            chi2 = c;
            lambda = std::max(lambda / 10, 1e-12);
            break;
        }
    }
    fit.parameters = theta;
    fit.chiSquared = chi2;
    if (!std::isfinite(chi2) || fit.dof < 0)
        return fit;
    normalEquations(model, y, sigma, theta, a, g);
    fit.covariance.assign(m, std::vector<double>(m));
    fit.converged = settled;
    for (std::size_t j = 0; j < m; ++j) {
        std::vector<double> unit(m, 0), column;
        unit[j] = 1;
        fit.converged = fit.converged && solve(a, unit, column);
        for (std::size_t k = 0; k < m && fit.converged; ++k)
            fit.covariance[k][j] = column[k];
    }
    return fit;
}

double chiSquaredQuality(double chiSquared, int dof)
{
    if (dof < 1 || !(chiSquared >= 0))
        return NaN;
    const double a = 0.5 * dof, x = 0.5 * chiSquared;
    if (x == 0)
        return 1;
    const double prefactor = std::exp(-x + a * std::log(x) - std::lgamma(a));
    constexpr double eps = 1e-15;
    if (x < a + 1) { // the series of P(a, x) converges fast here
        double term = 1 / a, sum = term;
        for (int k = 1; k < 1000 && term > eps * sum; ++k) {
            term *= x / (a + k);
            sum += term;
        }
        return std::max(0.0, 1 - prefactor * sum);
    }
    // The continued fraction of Q(a, x), by the modified Lentz method.
    constexpr double tiny = 1e-300;
    double b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
    for (int k = 1; k < 1000; ++k) {
        const double an = -k * (k - a);
        b += 2;
        d = an * d + b;
        d = std::abs(d) < tiny ? tiny : d;
        c = b + an / c;
        c = std::abs(c) < tiny ? tiny : c;
        d = 1 / d;
        h *= d * c;
        if (std::abs(d * c - 1) < eps)
            break;
    }
    return prefactor * h;
}

} // namespace stats
