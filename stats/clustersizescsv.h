#pragma once

#include "totals.h"

#include <iosfwd>
#include <string>

// The cluster-size distribution n_s of the snapshots (snapshots.h) as a CSV table: per size, per
// snapshot p and per log bin of s (clustersizes.h) up to N, the clusters of the bin per site and
// per unit of s, ⟨clusters in the bin⟩ / (N · width), with its jackknife error over the groups.
//
// Columns: p, L, samples, s_first, s_last, s (the bin's geometric mean), n_s, n_s_error.
// Numbers are the shortest text that reads back as the same double; an error that cannot be
// computed (samples in fewer than two groups) is left empty.
namespace stats {

// Writes the table; returns "" or, when no size has snapshots, a one-line reason and writes
// nothing.
std::string writeClusterSizesCsv(std::ostream& out, const std::vector<Totals>& sizes);

} // namespace stats
