#pragma once

#include "model/clusterquery.h"

#include <QString>

// The words of the lattice view's tooltip: the site (row and column counted from 1) and its
// state, and for an occupied site its cluster's size, whether it is the largest (the one painted
// red) and which way it spans the lattice. While the largest cluster is shown alone, the other
// occupied sites are painted as empty; the tooltip still tells their real state and says so.
namespace cluster_tooltip {

// row and column count from 0; `cluster` is the site's cluster, of size 0 for an empty site.
QString text(int row, int column, const model::SiteCluster& cluster, bool isolated);

} // namespace cluster_tooltip
