#include "explorerpicture.h"

#include "latticepicture.h"

#include <QColor>

#include <algorithm>
#include <array>
#include <cassert>

namespace explorer_picture {

namespace {

constexpr int PaletteSize = 256;

// Hues spread by the golden angle, kept clear of the empty blue (and the cyans and violets
// beside it), the occupied yellow and the largest red, with saturation and value varied so that
// neighbouring clusters rarely look alike.
std::array<QRgb, PaletteSize> makePalette()
{
    std::array<QRgb, PaletteSize> palette{};
    double hue = 0.1;
    for (int i = 0; i < PaletteSize; ++i) {
        do
            hue = hue + 0.6180339887 - (hue + 0.6180339887 >= 1 ? 1 : 0);
        while (hue < 0.05 || hue > 0.95 || (hue > 0.12 && hue < 0.2) || (hue > 0.6 && hue < 0.72));
        const double saturation = 0.45 + 0.15 * (i % 4);
        const double value = 0.7 + 0.1 * (i % 3);
        palette[std::size_t(i)] =
            QColor::fromHsvF(float(hue), float(saturation), float(value)).rgb();
    }
    return palette;
}

template <int K> void paintBlock(QRgb* pixels, int L, int site, QRgb colour)
{
    QRgb* corner = pixels + K * ((site / L) * lattice_picture::Side + site % L);
    for (int y = 0; y < K; ++y)
        for (int x = 0; x < K; ++x)
            corner[y * lattice_picture::Side + x] = colour;
}

template <int K>
void paintSites(QRgb* pixels, const stats::OccupationHistory& history, int n, Style style,
                const std::int32_t* roots)
{
    const int L = history.side();
    const int largest = history.largestRoot(n);
    for (int k = 0; k < n; ++k) {
        const int root = roots[k];
        const QRgb colour = siteColour(true, history.siteOf(root), root == largest,
                                       history.rootSpans(root, n), style);
        paintBlock<K>(pixels, L, history.siteOf(k), colour);
    }
}

} // namespace

QRgb clusterColour(int site)
{
    static const std::array<QRgb, PaletteSize> palette = makePalette();
    const auto mixed = static_cast<std::uint32_t>(site) * 2654435761u;
    return palette[mixed >> 24];
}

QRgb siteColour(bool occupied, int oldestSite, bool largest, bool spans, Style style)
{
    if (!occupied || (style.spanningOnly && !spans))
        return lattice_picture::EmptyColour;
    if (largest)
        return lattice_picture::LargestColour;
    return style.everyCluster ? clusterColour(oldestSite) : lattice_picture::OccupiedColour;
}

void compose(QImage& image, const stats::OccupationHistory& history, int n, Style style,
             std::vector<std::int32_t>& roots)
{
    assert(image.width() == lattice_picture::Side && image.format() == QImage::Format_RGB32);
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    std::fill_n(pixels, lattice_picture::Side * lattice_picture::Side,
                lattice_picture::EmptyColour);
    roots.resize(std::size_t(history.siteCount()));
    history.findRoots(n, roots.data());
    switch (lattice_picture::Side / history.side()) {
    case 1:
        return paintSites<1>(pixels, history, n, style, roots.data());
    case 2:
        return paintSites<2>(pixels, history, n, style, roots.data());
    case 4:
        return paintSites<4>(pixels, history, n, style, roots.data());
    default:
        return; // only the three sizes fill the picture exactly
    }
}

} // namespace explorer_picture
