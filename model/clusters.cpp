// The largest cluster, found in one of two exact ways; both report the same cluster in the same
// breadth-first discovery order, and the pass picks the one that is faster for the lattice's
// density.
//
// Growth: every cluster is grown breadth-first in a grid with a border of empty cells, one byte
// per cell, in which a cell is cleared the moment it joins a cluster: the border removes every
// edge test, and a cleared cell can neither start nor join another cluster. The grid is scanned
// in site order for cells still set, so clusters start from their lowest site in increasing
// order. All clusters share one queue, each in its own stretch, and the winner is translated
// back to site numbers once, at the end. Dense lattices, where one cluster holds nearly every
// site, go this way.
//
// Runs: each row is packed into 64-bit words, and its horizontal runs of occupied sites are
// numbered in site order. Runs of neighbouring rows that overlap are joined by union–find, always
// keeping the lower run as the root, so a cluster's root is the run holding its lowest site.
// A root carries the size of its whole cluster, added up as runs join, and the winner (the
// largest, and of equal ones the lowest root) is kept up to date as sizes grow; it is then grown
// breadth-first alone, as above, for its discovery order.
// Lattices up to somewhat past the percolation threshold go this way: growth there is bound by
// the latency of its queue, since most clusters are small, while the work per run is short and
// independent.
#include "clusters.h"

#include "lattice.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstddef>

#if defined(__x86_64__) && defined(__GNUC__)
#define PERCOLATION_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace model {
namespace {

constexpr int MaxGridWidth = MaxLinearSize + 2;
constexpr int MaxWords = (MaxLinearSize + 63) / 64;
constexpr int MaxRuns = MaxLinearSize * ((MaxLinearSize + 1) / 2);

// Copies site[1 … L²] into the interior of a (L + 2)² grid and clears its border. Only a site's
// lowest bit is copied, as the runs read it too: growth steps by a cell's value, so any other
// value would take it past the queue.
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
            cell[column + 1] = static_cast<std::uint8_t>(rowSites[column] & 1);
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

// Grows the cluster of startCell, which must still be set, appending its cells to queue[end …]
// in discovery order (neighbours up, right, down, left); returns the new end of the queue.
int grow(std::uint8_t* grid, int width, int startCell, std::int32_t* queue, int end)
{
    grid[startCell] = 0;
    int k = end;
    queue[end++] = startCell;
    for (; k < end; ++k) {
        const int cell = queue[k];
        for (const int neighbour : {cell - width, cell + 1, cell + width, cell - 1}) {
            // Without a branch: the cell always goes to the next free slot, and the queue grows
            // only if the cell was still set. The slot exists: the queue has room for every site.
            const int unvisited = grid[neighbour];
            grid[neighbour] = 0;
            queue[end] = neighbour;
            end += unvisited;
        }
    }
    return end;
}

int byGrowth(int L, ClusterWorkspace& workspace, int* largest)
{
    std::uint8_t* grid = workspace.grid.data();
    std::int32_t* queue = workspace.queue.data();
    const int width = L + 2;
    int queued = 0;
    int bestStart = 0;
    int bestSize = 0;
    for (int row = 1; row <= L; ++row) {
        const int rowEnd = row * width + 1 + L;
        for (int cell = row * width + 1; cell < rowEnd; ++cell) {
            if (grid[cell] == 0)
                continue;
            const int clusterStart = queued;
            queued = grow(grid, width, cell, queue, queued);
            if (queued - clusterStart > bestSize) {
                bestSize = queued - clusterStart;
                bestStart = clusterStart;
            }
        }
    }
    writeSites(queue + bestStart, bestSize, L, largest);
    return bestSize;
}

// One row of the lattice as bits: bit c of the row is column c.
struct RowBits
{
    std::array<std::uint64_t, MaxWords> occupied{};
    std::array<std::uint64_t, MaxWords> starts{}; // first columns of runs
    std::array<int, MaxWords> runsBefore{};       // number of the first run starting in a word
};

void packRowPortable(const int* rowSites, int L, std::uint64_t* words)
{
    const int fullWords = L / 64;
    for (int w = 0; w < fullWords; ++w) {
        std::uint64_t bits = 0;
        for (int b = 0; b < 64; ++b)
            bits |= static_cast<std::uint64_t>(rowSites[64 * w + b] & 1) << b;
        words[w] = bits;
    }
    if (L % 64 != 0) {
        std::uint64_t bits = 0;
        for (int b = 0; b < L % 64; ++b)
            bits |= static_cast<std::uint64_t>(rowSites[64 * fullWords + b] & 1) << b;
        words[fullWords] = bits;
    }
}

#ifdef PERCOLATION_X86_KERNELS
// Eight sites at a time: their lowest bits, shifted into the sign bits, make a byte of the row.
[[gnu::target("avx2")]] void packRowAvx2(const int* rowSites, int L, std::uint64_t* words)
{
    const int groups = L / 8;
    std::fill_n(words, (L + 63) / 64, std::uint64_t{0});
    for (int g = 0; g < groups; ++g) {
        const __m256i sites =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowSites + 8 * g));
        const auto bits = static_cast<unsigned>(
            _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_slli_epi32(sites, 31))));
        words[g / 8] |= static_cast<std::uint64_t>(bits) << (8 * (g % 8));
    }
    for (int c = 8 * groups; c < L; ++c)
        words[c / 64] |= static_cast<std::uint64_t>(rowSites[c] & 1) << (c % 64);
}
#endif

// Index of the run of `row` that covers column c (which must be occupied).
inline int runAt(const RowBits& row, int c)
{
    const auto w = static_cast<std::size_t>(c >> 6);
    const std::uint64_t upTo = ~std::uint64_t{0} >> (63 - (c & 63));
    return row.runsBefore[w] + std::popcount(row.starts[w] & upTo) - 1;
}

// Most runs sit within two links of their root: those two links are followed without a branch,
// which would be mispredicted often, and the loop is left for the rare longer path.
inline int findRoot(std::int32_t* parent, int x)
{
    x = parent[parent[x]];
    while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
    }
    return x;
}

template <typename PackRow>
[[gnu::always_inline]] inline int byRuns(const int* site, int L, ClusterWorkspace& workspace,
                                         int* largest, PackRow packRow)
{
    std::int32_t* first = workspace.runFirst.data();
    std::int32_t* length = workspace.runLength.data();
    std::int32_t* parent = workspace.runParent.data();
    const int words = (L + 63) / 64;
    RowBits rows[2];
    int runs = 0;
    // The winner so far: the largest size any cluster has reached, and the lowest root among the
    // clusters that reached it. Sizes only grow, and a cluster's root is final once its size is,
    // so this ends as the largest cluster with the lowest root, without a pass over the runs.
    int best = 0;
    int winner = 0;
    auto consider = [&](int size, int root) {
        const bool better = size > best || (size == best && root < winner);
        best = better ? size : best;
        winner = better ? root : winner;
    };
    for (int r = 0; r < L; ++r) {
        RowBits& row = rows[r & 1];
        const RowBits& above = rows[(r & 1) ^ 1];
        const int rowBase = r * L + 1; // the site number of column 0
        packRow(site + rowBase, L, row.occupied.data());

        // Starts and ends alternate along the row, so the k-th end closes the k-th run; a run
        // may close in a later word than the one it opens in.
        int closing = runs;
        for (int w = 0; w < words; ++w) {
            const auto i = static_cast<std::size_t>(w);
            const std::uint64_t bits = row.occupied[i];
            const std::uint64_t leftCarry = w > 0 ? row.occupied[i - 1] >> 63 : 0;
            const std::uint64_t rightCarry = w + 1 < words ? row.occupied[i + 1] << 63 : 0;
            const std::uint64_t starts = bits & ~((bits << 1) | leftCarry);
            row.starts[i] = starts;
            row.runsBefore[i] = runs;
            for (std::uint64_t s = starts; s != 0; s &= s - 1, ++runs) {
                first[runs] = rowBase + 64 * w + std::countr_zero(s);
                parent[runs] = runs;
            }
            for (std::uint64_t e = bits & ~((bits >> 1) | rightCarry); e != 0;
                 e &= e - 1, ++closing) {
                length[closing] = rowBase + 64 * w + std::countr_zero(e) - first[closing] + 1;
                consider(length[closing], closing);
            }
        }
        if (r == 0)
            continue;

        // Each stretch where this row and the one above are both occupied joins exactly one
        // run of each. The stretches meet this row's runs in order, those of one run one after
        // the other, and nothing else touches the row's runs meanwhile: a run not met before is
        // still its own root, and one met in the join just before has that join's root. Only
        // the run above needs a find.
        std::uint64_t previous = 0;
        int lastRun = -1;
        int lastRoot = 0;
        for (int w = 0; w < words; ++w) {
            const auto i = static_cast<std::size_t>(w);
            const std::uint64_t both = row.occupied[i] & above.occupied[i];
            std::uint64_t joins = both & ~((both << 1) | (previous >> 63));
            previous = both;
            for (; joins != 0; joins &= joins - 1) {
                const int c = 64 * w + std::countr_zero(joins);
                const int run = runAt(row, c);
                const int a = run == lastRun ? lastRoot : run;
                const int b = findRoot(parent, runAt(above, c));
                // The root keeps the size of its whole cluster.
                const int low = std::min(a, b);
                const int high = std::max(a, b);
                parent[high] = low;
                length[low] += low != high ? length[high] : 0;
                consider(length[low], low);
                lastRun = run;
                lastRoot = low;
            }
        }
    }

    if (best == 0)
        return 0;

    fillGrid(site, L, workspace.grid.data());
    const int lowest = first[winner] - 1;
    const int width = L + 2;
    const int startCell = (lowest / L + 1) * width + lowest % L + 1;
    const int size = grow(workspace.grid.data(), width, startCell, workspace.queue.data(), 0);
    assert(size == best);
    writeSites(workspace.queue.data(), size, L, largest);
    return size;
}

// Built for the baseline processor, as every processor without the x86 kernels runs it.
int byRunsPortable(const int* site, int L, ClusterWorkspace& workspace, int* largest)
{
    return byRuns(site, L, workspace, largest, packRowPortable);
}

#ifdef PERCOLATION_X86_KERNELS
// Run counting leans on popcnt and bit scans, which the baseline x86-64 lacks.
[[gnu::target("avx2,popcnt,bmi,bmi2")]] int byRunsAvx2(const int* site, int L,
                                                       ClusterWorkspace& workspace, int* largest)
{
    return byRuns(site, L, workspace, largest, packRowAvx2);
}
#endif

using RunsMethod = int (*)(const int*, int, ClusterWorkspace&, int*);

RunsMethod bestRuns()
{
#ifdef PERCOLATION_X86_KERNELS
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
        __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2"))
        return byRunsAvx2;
#endif
    return byRunsPortable;
}

// Checked before any arithmetic on L.
bool insideContract(int nOccupied, int L)
{
    return L >= 1 && L <= MaxLinearSize && nOccupied >= 0 && nOccupied <= L * L;
}

} // namespace

ClusterWorkspace::ClusterWorkspace()
    : grid(static_cast<std::size_t>(MaxGridWidth * MaxGridWidth)),
      queue(static_cast<std::size_t>(SiteCapacity)), runFirst(static_cast<std::size_t>(MaxRuns)),
      runLength(static_cast<std::size_t>(MaxRuns)), runParent(static_cast<std::size_t>(MaxRuns))
{
}

namespace detail {

ClusterMethod bestClusterMethod(int nOccupied, int L)
{
    // Runs win up to and past the percolation threshold (about 59 % occupied); on denser
    // lattices the winner is nearly everything and growing it twice would cost more.
    return static_cast<long long>(nOccupied) * 100 < 65LL * L * L ? ClusterMethod::Runs
                                                                  : ClusterMethod::Growth;
}

int findLargestClusterWith(ClusterMethod method, const int* site, const int* occupied,
                           int* largest, int nOccupied, int L, ClusterWorkspace& workspace)
{
    // Both methods find the occupied sites in site[]; the list only tells how many there are.
    (void)occupied;
    if (!insideContract(nOccupied, L) || nOccupied == 0)
        return 0;
    if (method == ClusterMethod::Runs) {
        static const RunsMethod runs = bestRuns();
        return runs(site, L, workspace, largest);
    }
    if (method == ClusterMethod::PortableRuns)
        return byRunsPortable(site, L, workspace, largest);
    fillGrid(site, L, workspace.grid.data());
    return byGrowth(L, workspace, largest);
}

} // namespace detail

int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L,
                       ClusterWorkspace& workspace)
{
    if (!insideContract(nOccupied, L))
        return 0;
    return detail::findLargestClusterWith(detail::bestClusterMethod(nOccupied, L), site, occupied,
                                          largest, nOccupied, L, workspace);
}

int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L)
{
    ClusterWorkspace workspace;
    return findLargestCluster(site, occupied, largest, nOccupied, L, workspace);
}

} // namespace model
