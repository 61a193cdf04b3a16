#pragma once

#include "totals.h"

#include <string>
#include <vector>

// Estimates of the percolation threshold pc from where a spanning probability reaches its
// known value at pc in the infinite system:
//   open   "crossing":   mean of the vertical and horizontal crossing probabilities = 1/2 (Cardy);
//   torus  "wrap-mean":   mean of the horizontal and vertical wrapping probabilities = 0.521058290
//                         (R^(h) and R^(v) averaged; not R^(1), wrapping one way only);
//   torus  "wrap-either": either wrapping probability = 0.690473725 (Pinson).
// Errors come from a jackknife over groups of samples. With several sizes, the estimates of one
// estimator are fitted to pc(L) = pc + a·L^(−θ), with θ = 11/4 on the torus (Newman & Ziff 2001)
// and θ = 1 + 1/ν = 7/4 with open boundaries (Ziff 1992).
namespace stats {

struct ThresholdEstimate
{
    int L = 0;             // 0 for an estimate combined over sizes
    std::string estimator; // "crossing", "wrap-mean", "wrap-either"
    double estimate = 0;
    double error = 0;
};

// Every estimator of the totals' boundary, for its size.
std::vector<ThresholdEstimate> estimateThreshold(const Totals& totals);

// The fit over sizes of the estimates of one estimator (at least two sizes; otherwise the one
// estimate itself).
ThresholdEstimate combineSizes(const std::vector<ThresholdEstimate>& perSize, double theta);

// The estimator the combined estimate uses for a boundary ("crossing" or "wrap-mean"), and its θ.
const char* preferredEstimator(Boundary boundary);
double correctionExponent(Boundary boundary);

} // namespace stats
