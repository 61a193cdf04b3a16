#include "latticepicture.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>

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

// Every line of blocks is written in groups of eight pixels, which hold 8 / K sites: a group's
// pixels for each value of its sites' bits.
using Group = std::array<QRgb, 8>;

template <int K> constexpr auto groupTable()
{
    std::array<Group, (1u << (8 / K))> table{};
    for (std::size_t value = 0; value < table.size(); ++value)
        for (std::size_t pixel = 0; pixel < 8; ++pixel)
            table[value][pixel] = (value >> (pixel / K)) & 1u ? OccupiedColour : EmptyColour;
    return table;
}

template <int K> constexpr auto Groups = groupTable<K>();

// A block side known at compile time turns each block into a few plain stores.
template <int K> void paintLines(QRgb* pixels, const model::SiteBits& bits)
{
    constexpr int L = Side / K;
    constexpr int SitesPerGroup = 8 / K;
    constexpr std::uint64_t GroupMask = (std::uint64_t{1} << SitesPerGroup) - 1;
    for (int row = 0; row < L; ++row) {
        QRgb* line = pixels + K * row * Side;
        for (int column = 0; column < L; column += 64) {
            // The sites past the row are of the next row; they never reach a group.
            const std::uint64_t word = bits.from(row * L + column);
            const int groups = std::min(64, L - column) / SitesPerGroup;
            for (int g = 0; g < groups; ++g) {
                const auto value = (word >> (SitesPerGroup * g)) & GroupMask;
                std::memcpy(line + K * column + 8 * g, Groups<K>[value].data(), sizeof(Group));
            }
        }
        for (int copy = 1; copy < K; ++copy)
            std::memcpy(line + copy * Side, line, Side * sizeof(QRgb));
    }
}

template <int K> void paintBlocks(QRgb* pixels, const int* sites, int count, QRgb colour)
{
    constexpr int L = Side / K;
    for (int i = 1; i <= count; ++i) {
        const int index = sites[i] - 1;
        QRgb* corner = pixels + K * ((index / L) * Side + index % L);
        for (int y = 0; y < K; ++y)
            for (int x = 0; x < K; ++x)
                corner[y * Side + x] = colour;
    }
}

} // namespace

QImage makeImage()
{
    return QImage(Side, Side, QImage::Format_RGB32);
}

void compose(QImage& image, int L, bool isolate, const model::SiteBits& bits, const int* largest,
             int largestSize)
{
    assert(image.width() == Side && image.height() == Side);
    assert(image.format() == QImage::Format_RGB32 && image.bytesPerLine() == Side * 4);
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    const int k = blockSide(L);
    if (k == 0 || isolate)
        std::fill_n(pixels, Side * Side, EmptyColour);
    if (k == 0)
        return;
    if (k == 1) {
        if (!isolate)
            paintLines<1>(pixels, bits);
        paintBlocks<1>(pixels, largest, largestSize, LargestColour);
    } else if (k == 2) {
        if (!isolate)
            paintLines<2>(pixels, bits);
        paintBlocks<2>(pixels, largest, largestSize, LargestColour);
    } else {
        if (!isolate)
            paintLines<4>(pixels, bits);
        paintBlocks<4>(pixels, largest, largestSize, LargestColour);
    }
}

} // namespace lattice_picture
