#pragma once

#include "scaling.h"
#include "totals.h"

#include <string>
#include <vector>

// From the totals of several sizes of one geometry to what analyseScaling() takes: per size and
// jackknife group, the snapshot sums at the known threshold pc (snapshots.h) as doubles, the
// window of χ, and Σ dR/dp at pc over the group's samples, from each sample's first n of the
// spanning events (the mean over the dimensions of crossing, or of wrapping on a torus, which
// is R of the geometry's preferred estimator), by spanningSlopes() of canonicalwindow.h.
namespace stats {

// The sums of one size; `error` says why there are none (no snapshots at pc).
SizeSums scalingSums(const Totals& totals, std::string& error);

// Every size of `sizes` (one geometry), or an input with no sizes and `error` set to one line:
// fewer than 4 sizes, sizes of other geometries, or a size without snapshots at pc.
ScalingInput scalingInput(const std::vector<Totals>& sizes, std::string& error);

} // namespace stats
