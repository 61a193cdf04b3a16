#pragma once

#include <QImage>
#include <QRgb>

// Composes the 600 × 600 picture of a realisation: blue background, the occupied sites in yellow
// and then the largest cluster in red over them. Site s of an L × L lattice is a k × k block,
// k = 600 / L, with its top-left pixel at (k · column, k · row). With `isolate` set the yellow
// pass is skipped, so the largest cluster stands alone. Sizes other than 150, 300 and 600 give an
// all-blue picture. Pixels are written straight into the scanlines.
namespace lattice_picture {

inline constexpr int Side = 600;
inline constexpr QRgb EmptyColour = 0xff0000ff;
inline constexpr QRgb OccupiedColour = 0xffffff00;
inline constexpr QRgb LargestColour = 0xffff0000;

// A picture of the right size and format for compose().
QImage makeImage();

void compose(QImage& image, int L, bool isolate, const int* occupied, int nOccupied,
             const int* largest, int largestSize);

} // namespace lattice_picture
