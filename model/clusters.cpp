#include "clusters.h"

#include "lattice.h"

#include <cassert>
#include <cstddef>

namespace model {
namespace {

constexpr int MaxGridWidth = MaxLinearSize + 2;

// Copies site[1 … L²] into the interior of a (L + 2)² grid and clears its border.
void fillGrid(const int* site, int L, std::uint8_t* grid)
{
    const int width = L + 2;
    for (int column = 0; column < width; ++column) {
        grid[column] = 0;
        grid[(L + 1) * width + column] = 0;
    }
    for (int row = 0; row < L; ++row) {
        std::uint8_t* cell = grid + (row + 1) * width;
        const int* rowSites = site + row * L + 1;
        cell[0] = 0;
        for (int column = 0; column < L; ++column)
            cell[column + 1] = static_cast<std::uint8_t>(rowSites[column]);
        cell[L + 1] = 0;
    }
}

// Translates grid cells back to site numbers. The row is a multiplication by ceil(2^32 / width)
// instead of a division: for cells below 2^32 / width the quotient is exact.
void writeSites(const std::int32_t* cells, int count, int L, int* largest)
{
    const auto width = static_cast<std::uint64_t>(L + 2);
    const std::uint64_t reciprocal = ((std::uint64_t{1} << 32) + width - 1) / width;
    for (int i = 0; i < count; ++i) {
        const auto cell = static_cast<std::uint64_t>(cells[i]);
        const auto row = (cell * reciprocal) >> 32;
        const auto column = cell - row * width;
        largest[i + 1] = static_cast<int>((row - 1) * static_cast<std::uint64_t>(L) + column);
    }
}

} // namespace

ClusterWorkspace::ClusterWorkspace()
    : grid(static_cast<std::size_t>(MaxGridWidth * MaxGridWidth)),
      queue(static_cast<std::size_t>(SiteCapacity))
{
}

int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L,
                       ClusterWorkspace& workspace)
{
    assert(L >= 1 && L <= MaxLinearSize);
    assert(nOccupied >= 0 && nOccupied <= L * L);
    if (L < 1 || L > MaxLinearSize || nOccupied < 0 || nOccupied > L * L)
        return 0;

    std::uint8_t* grid = workspace.grid.data();
    std::int32_t* queue = workspace.queue.data();
    fillGrid(site, L, grid);

    const int width = L + 2;
    int queued = 0;
    int bestStart = 0;
    int bestSize = 0;
    int row = 0;
    int rowEnd = L;
    for (int i = 1; i <= nOccupied; ++i) {
        const int start = occupied[i];
        while (start > rowEnd) {
            ++row;
            rowEnd += L;
        }
        const int startCell = start + 2 * row + L + 2;
        if (grid[startCell] == 0)
            continue;

        const int clusterStart = queued;
        grid[startCell] = 0;
        queue[queued++] = startCell;
        for (int k = clusterStart; k < queued; ++k) {
            const int cell = queue[k];
            for (const int neighbour : {cell - width, cell + 1, cell + width, cell - 1}) {
                if (grid[neighbour] != 0) {
                    grid[neighbour] = 0;
                    queue[queued++] = neighbour;
                }
            }
        }
        if (queued - clusterStart > bestSize) {
            bestSize = queued - clusterStart;
            bestStart = clusterStart;
        }
    }
    writeSites(queue + bestStart, bestSize, L, largest);
    return bestSize;
}

int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L)
{
    ClusterWorkspace workspace;
    return findLargestCluster(site, occupied, largest, nOccupied, L, workspace);
}

} // namespace model
