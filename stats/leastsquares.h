#pragma once

#include <cstddef>
#include <functional>
#include <vector>

// Weighted nonlinear least squares: minimises χ² = Σ_i ((y_i − f_i(θ)) / σ_i)² over a few
// parameters θ by Levenberg–Marquardt (K. Levenberg 1944; D. W. Marquardt, J. SIAM 11, 431
// (1963)), with the Jacobian from central differences. A model linear in θ is solved in the
// first step. The covariance of θ is (JᵀWJ)⁻¹ at the minimum, which is exact for independent
// Gaussian errors of known σ and a model linear near the minimum. χ² never grows from one
// accepted step to the next, and a step that would make f non-finite is refused.
namespace stats {

struct LeastSquaresFit
{
    std::vector<double> parameters;
    std::vector<std::vector<double>> covariance;
    double chiSquared = 0;
    int dof = 0;            // points less parameters
    bool converged = false; // false also when the normal matrix is singular
};

// The prediction of point i for parameters θ.
using FitModel = std::function<double(std::size_t i, const std::vector<double>& theta)>;

LeastSquaresFit fitLeastSquares(const FitModel& model, const std::vector<double>& y,
                                const std::vector<double>& sigma, std::vector<double> start);

// The probability that χ² with `dof` degrees of freedom is at least `chiSquared`: Q(dof/2, χ²/2),
// the regularised upper incomplete gamma function. NaN for dof < 1.
double chiSquaredQuality(double chiSquared, int dof);

} // namespace stats
