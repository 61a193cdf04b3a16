#pragma once

#include "geometry.h"
#include "totals.h"

#include <cstdint>
#include <string>
#include <vector>

// Estimates of the percolation threshold pc from the spanning probabilities R(p) of one or more
// lattice sizes. Each estimator is named, and says how well R at pc is known:
//   "crossing"       open boundaries in the plane: the mean of both crossing probabilities
//                    reaches 1/2. Cardy's formula gives π_h(r) + π_h(1/r) = 1 for any
//                    rectangle, and in the scaling limit for any lattice, so the mean is 1/2 at
//                    pc for any shape. For site percolation on the triangular rhombus it holds
//                    at every L: a Hex board has a top–bottom crossing of occupied sites
//                    exactly when it has no left–right crossing of empty ones, so
//                    R_v(p) + R_h(1 − p) = 1, and the rhombus is symmetric in its two axes.
//   "wrap-mean"      the square torus: the mean of both wrapping probabilities reaches
//                    0.521058290 (R^(h) and R^(v) averaged; Pinson 1994, Newman & Ziff 2001);
//   "wrap-either"    the square torus: a wrap in either direction, 0.690473725.
//                    Site and bond percolation share the class and the square torus, so both
//                    targets hold for either model in the limit of large sizes.
//   "wrap-mean-intersection", "crossing-intersection"
//                    elsewhere (tori of the triangular and honeycomb lattices, whose physical
//                    shapes are not square, and the cube, open or periodic): R at pc is not
//                    known, so pc is where the curves R(p) of two successive sizes intersect,
//                    R being the mean over the directions of wrapping or crossing.
// Errors come from a jackknife over groups of samples, the same groups at every size, so that
// estimates combined over sizes get their error from the same leave-one-group-out replicas.
namespace stats {

// The thresholds known for each lattice and model: exact in the plane but for the site
// problem of the square and honeycomb lattices (Jacobsen 2015; Feng, Deng & Blöte 2008) and
// numerical for the cube (Wang, Zhou, Zhang, Garoni & Deng 2013; Xu, Wang, Lv & Deng 2014).
double knownThreshold(Lattice lattice, Model model);

// How well R at pc is known.
enum class TargetKind {
    Exact,    // at every size
    Limit,    // in the limit of large sizes, with corrections that fall off as L^(−θ)
    Estimated // not known: the intersection of successive sizes
};
const char* targetKindName(TargetKind kind); // "exact", "known", "estimated"

struct Estimator
{
    std::string name;
    TargetKind kind = TargetKind::Limit;
    double target = 0; // R at pc, when known
};

// The estimators of a geometry, the preferred one first (its L is not used).
std::vector<Estimator> estimatorsFor(const Geometry& geometry);
const char* preferredEstimator(const Geometry& geometry);

struct ThresholdEstimate
{
    int L = 0;  // the size; the smaller one of an intersection; 0 when combined over sizes
    int L2 = 0; // the larger size of an intersection, otherwise 0
    std::string estimator;
    double estimate = 0;
    double error = 0;
    // The estimate with jackknife group g left out, g = 0 … JackknifeGroups − 1; NaN where
    // group g holds no sample (or every sample).
    std::vector<double> replicas;
};

// Every estimator of the totals' geometry that has a target, for its size. Needs two samples
// or more; with fewer the estimates and errors are NaN.
std::vector<ThresholdEstimate> estimateThreshold(const Totals& totals);

// Where the intersection estimator's curves of two sizes of one geometry meet.
ThresholdEstimate intersectionOf(const Totals& smaller, const Totals& larger);

struct CombinedThreshold
{
    std::string estimator; // empty when there is no estimate; then `missing` says why
    TargetKind target = TargetKind::Limit;
    double targetValue = 0;
    double estimate = 0;
    double error = 0; // from the jackknife replicas of the whole combination
    std::vector<int> sizes;
    double correctionExponent = 0; // of the fit; 0 when there is no fit
    std::string rule;              // how the sizes were combined, in one line
    std::string missing;
};

struct ThresholdReport
{
    std::vector<ThresholdEstimate> estimates; // per size, then per pair of sizes
    CombinedThreshold combined;
};

// The estimates of the sizes of one geometry, ascending in L, and their combination: the
// preferred estimator's estimates fitted as pc + a·L^(−θ) (a weighted mean where the target is
// exact), or the intersections of successive sizes fitted as described in threshold.cpp.
// Sizes with fewer than two samples take no part. `perSize`, when given, holds what
// estimateThreshold(totals) gave for each size, so that it is not computed again.
ThresholdReport
estimateThreshold(const std::vector<const Totals*>& sizes,
                  const std::vector<std::vector<ThresholdEstimate>>* perSize = nullptr);

// How estimateThreshold() combines the estimates of a geometry (its L is not used): the
// preferred estimator's estimates of each size, or its intersections of successive sizes.
CombinedThreshold combineThreshold(const Geometry& geometry,
                                   const std::vector<ThresholdEstimate>& estimates);

} // namespace stats
