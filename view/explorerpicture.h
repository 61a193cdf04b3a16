#pragma once

#include "stats/occupationhistory.h"

#include <QImage>
#include <QRgb>

#include <cstdint>
#include <vector>

// The explorer's picture of a lattice at one occupation number, in the lattice window's colours
// and geometry: a 600 × 600 picture, each site a block of 600 / L pixels a side (L = 150, 300 or
// 600). Empty sites are blue, occupied ones yellow and the largest cluster red; optionally every
// other cluster gets a colour of its own, or only the clusters that join opposite edges are
// shown.
namespace explorer_picture {

struct Style
{
    bool everyCluster = false; // each cluster in its own colour, the largest still red
    bool spanningOnly = false; // the other clusters shown as empty
};

// The colour of the cluster whose oldest site is `site` when every cluster has its own: fixed by
// that site alone, so a cluster keeps its colour while it swallows younger ones. Never the
// colour of empty sites, of occupied sites or of the largest cluster.
QRgb clusterColour(int site);

// The colour of one site: `oldestSite` names its cluster (ignored when empty).
QRgb siteColour(bool occupied, int oldestSite, bool largest, bool spans, Style style);

// Draws `history` at occupation number n into `image` (made by lattice_picture::makeImage());
// `roots` is scratch memory, grown as needed. One pass over the occupied sites.
void compose(QImage& image, const stats::OccupationHistory& history, int n, Style style,
             std::vector<std::int32_t>& roots);

} // namespace explorer_picture
