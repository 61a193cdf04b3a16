#pragma once

#include <QPixmap>

// The picture of a realisation drawn the straightforward way: a fresh 600 × 600 pixmap filled
// blue, then one QPainter call per listed site: a yellow point or NoPen yellow block for every
// occupied site unless `isolate` is set, then a red one for every site of the largest cluster.
// Points at L = 600, filled k × k rectangles (k = 600 / L) at L = 150 and 300; any other L draws
// nothing. It is not part of the program: the benchmarks measure the program's picture against
// it, and the tests compare the two pixel for pixel.
namespace straightforward {

QPixmap drawPicture(int L, bool isolate, const int* occupied, int nOccupied, const int* largest,
                    int largestSize);

} // namespace straightforward
