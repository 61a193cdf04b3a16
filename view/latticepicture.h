#pragma once

#include "model/lattice.h"

#include <QImage>
#include <QRgb>

// Composes the 600 × 600 picture of a realisation: empty sites blue, occupied sites yellow, and
// the sites of the largest cluster red over them. Site s of an L × L lattice is a k × k block,
// k = 600 / L, with its top-left pixel at (k · column, k · row). With `isolate` set occupied
// sites are drawn as empty ones, so the largest cluster stands alone. Sizes other than 150, 300
// and 600 give an all-blue picture. Pixels are written straight into the scanlines: each line of
// blocks once, from the lattice's bits, and then the largest cluster's blocks.
namespace lattice_picture {

inline constexpr int Side = 600;
inline constexpr QRgb EmptyColour = 0xff0000ff;
inline constexpr QRgb OccupiedColour = 0xffffff00;
inline constexpr QRgb LargestColour = 0xffff0000;

// A picture of the right size and format for compose().
QImage makeImage();

// `bits` as model::occupySites() or model::packSites() wrote them for the lattice, and the
// largest cluster largest[1 … largestSize] as model::findLargestCluster() found it.
void compose(QImage& image, int L, bool isolate, const model::SiteBits& bits, const int* largest,
             int largestSize);

} // namespace lattice_picture
