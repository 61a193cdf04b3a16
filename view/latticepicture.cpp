#include "latticepicture.h"

#include <algorithm>
#include <cassert>

namespace lattice_picture {
namespace {

int blockSide(int L)
{
    switch (L) {
    case 150:
    case 300:
    case 600:
        return Side / L;
    default:
        return 0;
    }
}

// A block side known at compile time turns each block into a few plain stores.
template <int K>
void paintBlocks(QRgb* pixels, int L, const int* sites, int count, QRgb colour)
{
    for (int i = 1; i <= count; ++i) {
        const int index = sites[i] - 1;
        QRgb* corner = pixels + K * ((index / L) * Side + index % L);
        for (int y = 0; y < K; ++y)
            for (int x = 0; x < K; ++x)
                corner[y * Side + x] = colour;
    }
}

void paintSites(QImage& image, int L, const int* sites, int count, QRgb colour)
{
    const int k = blockSide(L);
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    if (k == 1) {
        for (int i = 1; i <= count; ++i)
            pixels[sites[i] - 1] = colour;
        return;
    }
    if (k == 2)
        paintBlocks<2>(pixels, L, sites, count, colour);
    else
        paintBlocks<4>(pixels, L, sites, count, colour);
}

} // namespace

QImage makeImage()
{
    return QImage(Side, Side, QImage::Format_RGB32);
}

void compose(QImage& image, int L, bool isolate, const int* occupied, int nOccupied,
             const int* largest, int largestSize)
{
    assert(image.width() == Side && image.height() == Side);
    assert(image.format() == QImage::Format_RGB32 && image.bytesPerLine() == Side * 4);
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    std::fill_n(pixels, Side * Side, EmptyColour);
    if (blockSide(L) == 0)
        return;
    if (!isolate)
        paintSites(image, L, occupied, nOccupied, OccupiedColour);
    paintSites(image, L, largest, largestSize, LargestColour);
}

} // namespace lattice_picture
