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
// Runs: each row is read from the lattice's bits into 64-bit words, and its horizontal runs of
// occupied sites are numbered in site order. Runs of neighbouring rows that overlap are joined by
// union–find, always keeping the lower run as the root, so a cluster's root is the run holding its
// lowest site. A root carries the size of its whole cluster, added up as runs join, and once every
// run has joined, the winner (the largest, and of equal ones the lowest root) is the first largest
// entry; it is then grown breadth-first alone, as above, for its discovery order. Lattices up to
// somewhat past the percolation threshold go this way: growth there is bound by the latency of its
// queue, since most clusters are small, while the work per run is short and independent.
#include "clusters.h"

#include "lattice.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <memory>

#if defined(__x86_64__) && defined(__GNUC__)
#define PERCOLATION_X86_KERNELS 1
#include <immintrin.h>
#endif

namespace model {
namespace {

constexpr int MaxGridWidth = MaxLinearSize + 2;
constexpr int MaxWords = (MaxLinearSize + 63) / 64;
constexpr int MaxRuns = MaxLinearSize * ((MaxLinearSize + 1) / 2);

// One byte per site, 1 when occupied, for each value of eight bits.
constexpr auto SpreadBits = [] {
    std::array<std::array<std::uint8_t, 8>, 256> table{};
    for (std::size_t byte = 0; byte < 256; ++byte)
        for (std::size_t bit = 0; bit < 8; ++bit)
            table[byte][bit] = static_cast<std::uint8_t>((byte >> bit) & 1u);
    return table;
}();

// The row's L cells from its words. A spread may write up to 31 cells of 0 past the row, which
// the caller must put right.
struct SpreadPortable
{
    // Eight cells at a time, from a table.
    static void row(const std::uint64_t* words, int L, std::uint8_t* cells)
    {
        for (int c = 0; c < L; c += 8)
            std::memcpy(cells + c, SpreadBits[(words[c / 64] >> (c % 64)) & 0xffu].data(), 8);
    }
};

#ifdef PERCOLATION_X86_KERNELS
struct SpreadAvx2
{
    // 32 cells at a time: each byte takes the byte of the bits that holds its cell, and keeps
    // its own bit.
    [[gnu::target("avx2")]] static void row(const std::uint64_t* words, int L, std::uint8_t* cells)
    {
        const __m256i byteOfCell =
            _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2,
                             2, 3, 3, 3, 3, 3, 3, 3, 3);
        const __m256i bitOfCell = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201u));
        const __m256i one = _mm256_set1_epi8(1);
        for (int c = 0; c < L; c += 32) {
            const auto chunk = static_cast<int>(words[c / 64] >> (c % 64));
            const __m256i spread = _mm256_shuffle_epi8(_mm256_set1_epi32(chunk), byteOfCell);
            const __m256i set = _mm256_cmpeq_epi8(_mm256_and_si256(spread, bitOfCell), bitOfCell);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(cells + c), _mm256_and_si256(set, one));
        }
    }
};
#endif

// Row r of the lattice as words: bit c of the row is column c.
void readRow(const SiteBits& bits, int r, int L, std::uint64_t* words)
{
    const int count = (L + 63) / 64;
    for (int w = 0; w < count; ++w)
        words[w] = bits.from(r * L + 64 * w);
    words[count - 1] &= ~std::uint64_t{0} >> (64 * count - L);
}

// Spreads the lattice into the interior of a (L + 2)² grid with a border of empty cells. A row
// may spill into the next, so the border is cleared after the rows.
template <typename Spread> void fillGrid(const SiteBits& bits, int L, std::uint8_t* grid)
{
    const int width = L + 2;
    std::array<std::uint64_t, MaxWords> words{};
    for (int r = 0; r < L; ++r) {
        readRow(bits, r, L, words.data());
        Spread::row(words.data(), L, grid + (r + 1) * width + 1);
    }
    std::fill_n(grid, width + 1, std::uint8_t{0});
    for (int row = 1; row <= L; ++row) {
        grid[row * width + L + 1] = 0;
        grid[(row + 1) * width] = 0;
    }
    std::fill_n(grid + (L + 1) * width, width, std::uint8_t{0});
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

// The positions of the set bits of every byte value, in increasing order, and their number.
struct BytePositions
{
    std::array<std::array<std::uint8_t, 8>, 256> positions{};
    std::array<std::uint8_t, 256> counts{};
};

constexpr BytePositions Positions = [] {
    BytePositions table;
    for (std::size_t byte = 0; byte < 256; ++byte)
        for (std::uint8_t bit = 0; bit < 8; ++bit)
            if ((byte >> bit) & 1u)
                table.positions[byte][table.counts[byte]++] = bit;
    return table;
}();

// Room for the first and past-the-last columns of a row's runs, and for what columnsOf() writes
// past them.
constexpr int MaxRowColumns = 2 * ((MaxLinearSize + 1) / 2) + 8;

// The columns of the set bits of words[0 … count), in increasing order, to out[0 …]; returns
// their number. A byte at a time, with the same work for every byte: a loop over the set bits
// would end at a different point for every word, and the processor would mispredict each end.
// Writes up to eight entries past the last column.
inline int columnsOf(const std::uint64_t* words, int count, std::uint16_t* out)
{
    int n = 0;
    for (int w = 0; w < count; ++w) {
        for (int b = 0; b < 8; ++b) {
            const auto byte = static_cast<std::size_t>((words[w] >> (8 * b)) & 0xffu);
            const auto base = static_cast<std::uint16_t>(64 * w + 8 * b);
            for (std::size_t i = 0; i < 8; ++i)
                out[n + static_cast<int>(i)] =
                    static_cast<std::uint16_t>(base + Positions.positions[byte][i]);
            n += Positions.counts[byte];
        }
    }
    return n;
}

// One row of the lattice as bits: bit c of the row is column c.
struct RowBits
{
    std::array<std::uint64_t, MaxWords> occupied{};
    std::array<std::uint64_t, MaxWords> starts{}; // first columns of runs
    std::array<int, MaxWords> runsBefore{};       // number of the first run starting in a word
    // Where the row changes between empty and occupied: the first and the past-the-last column
    // of every run, one word more for a run that ends at a multiple of 64.
    std::array<std::uint64_t, MaxWords + 1> edges{};

    // Fills starts, runsBefore (counting from `runs`) and edges from occupied.
    void findRuns(int words, int runs)
    {
        for (int w = 0; w < words; ++w) {
            const auto i = static_cast<std::size_t>(w);
            const std::uint64_t carry = w > 0 ? occupied[i - 1] >> 63 : 0;
            const std::uint64_t shifted = (occupied[i] << 1) | carry;
            starts[i] = occupied[i] & ~shifted;
            edges[i] = occupied[i] ^ shifted;
            runsBefore[i] = runs;
            runs += std::popcount(starts[i]);
        }
        edges[static_cast<std::size_t>(words)] =
            occupied[static_cast<std::size_t>(words - 1)] >> 63;
    }
};

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

template <typename Spread>
[[gnu::always_inline]] inline int byRuns(const SiteBits& bits, int L, ClusterWorkspace& workspace,
                                         int* largest)
{
    std::int32_t* rowRuns = workspace.rowFirstRun.data();
    std::int32_t* length = workspace.runLength.data();
    std::int32_t* parent = workspace.runParent.data();
    std::uint8_t* grid = workspace.grid.data();
    const int words = (L + 63) / 64;
    const int width = L + 2;
    RowBits rows[2];
    std::array<std::uint16_t, MaxRowColumns> edgeArray;
    std::uint16_t* edges = edgeArray.data();
    int runs = 0;
    for (int r = 0; r < L; ++r) {
        RowBits& row = rows[r & 1];
        const RowBits& above = rows[(r & 1) ^ 1];
        readRow(bits, r, L, row.occupied.data());
        row.findRuns(words, runs);
        rowRuns[r] = runs;
        // The edges alternate along the row, each run's first column and then its past-the-last.
        const int count = columnsOf(row.edges.data(), words + 1, edges) / 2;
        for (int k = 0; k < count; ++k) {
            parent[runs + k] = runs + k;
            length[runs + k] = edges[2 * k + 1] - edges[2 * k];
        }
        runs += count;
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
                const int b = findRoot(parent, runAt(above, c));
                // The root keeps the size of its whole cluster.
                if (run != lastRun) {
                    // Most joins: a run's first one links it below a root of an earlier row. The
                    // link's place is known before the find ends, so the finds after it need
                    // not wait to learn that they read elsewhere.
                    parent[run] = b;
                    length[b] += length[run];
                    lastRoot = b;
                } else {
                    // Without a branch on how the two roots compare, which would be mispredicted
                    // often: when a cluster meets itself its root links to itself and adds 0.
                    const int a = lastRoot;
                    const int low = std::min(a, b);
                    const int high = a ^ b ^ low;
                    const int added = length[high] & -static_cast<int>(a != b);
                    parent[high] = low;
                    length[low] += added;
                    lastRoot = low;
                }
                lastRun = run;
            }
        }
    }

    // The winner: the largest cluster, and of equal ones the lowest root. A run that is no longer
    // a root holds the size its cluster had when it stopped being one, which is no more than its
    // root's and comes after it, so the first of the largest entries is the winner's root.
    if (runs == 0)
        return 0;
    // Two passes: the largest size without a branch per run, then its first place.
    int best = 0;
    for (int k = 0; k < runs; ++k)
        best = std::max(best, length[k]);
    const auto winner = static_cast<int>(std::find(length, length + runs, best) - length);

    // Filled only now, so that it is still in the cache as the winner grows.
    fillGrid<Spread>(bits, L, grid);
    // The winner's lowest site is the first of its root run.
    const auto row =
        static_cast<int>(std::upper_bound(rowRuns, rowRuns + L, winner) - rowRuns) - 1;
    readRow(bits, row, L, rows[0].occupied.data());
    rows[0].findRuns(words, 0);
    columnsOf(rows[0].edges.data(), words + 1, edges);
    const int startCell = (row + 1) * width + edges[2 * (winner - rowRuns[row])] + 1;
    const int size = grow(grid, width, startCell, workspace.queue.data(), 0);
    assert(size == best);
    writeSites(workspace.queue.data(), size, L, largest);
    return size;
}

// Built for the baseline processor, as every processor without the x86 kernels runs it.
int byRunsPortable(const SiteBits& bits, int L, ClusterWorkspace& workspace, int* largest)
{
    return byRuns<SpreadPortable>(bits, L, workspace, largest);
}

#ifdef PERCOLATION_X86_KERNELS
// Run counting leans on popcnt and bit scans, which the baseline x86-64 lacks.
[[gnu::target("avx2,popcnt,bmi,bmi2")]] int byRunsAvx2(const SiteBits& bits, int L,
                                                       ClusterWorkspace& workspace, int* largest)
{
    return byRuns<SpreadAvx2>(bits, L, workspace, largest);
}
#endif

using RunsMethod = int (*)(const SiteBits&, int, ClusterWorkspace&, int*);

bool hasX86Kernels()
{
#ifdef PERCOLATION_X86_KERNELS
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
#else
    return false;
#endif
}

RunsMethod bestRuns()
{
#ifdef PERCOLATION_X86_KERNELS
    if (hasX86Kernels())
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
    : bits(std::make_unique<SiteBits>()),
      // A spread row may spill 31 cells past the grid's last interior row.
      grid(static_cast<std::size_t>(MaxGridWidth * MaxGridWidth + 32)),
      queue(static_cast<std::size_t>(SiteCapacity)),
      rowFirstRun(static_cast<std::size_t>(MaxLinearSize)),
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

int findLargestClusterWith(ClusterMethod method, const SiteBits& bits, int* largest, int nOccupied,
                           int L, ClusterWorkspace& workspace)
{
    if (!insideContract(nOccupied, L) || nOccupied == 0)
        return 0;
    if (method == ClusterMethod::Runs) {
        static const RunsMethod runs = bestRuns();
        return runs(bits, L, workspace, largest);
    }
    if (method == ClusterMethod::PortableRuns)
        return byRunsPortable(bits, L, workspace, largest);
    fillGrid<SpreadPortable>(bits, L, workspace.grid.data());
    return byGrowth(L, workspace, largest);
}

int findLargestClusterWith(ClusterMethod method, const int* site, const int* occupied,
                           int* largest, int nOccupied, int L, ClusterWorkspace& workspace)
{
    // Every method reads the lattice as bits; the list only tells how many sites are occupied.
    (void)occupied;
    if (!insideContract(nOccupied, L) || nOccupied == 0)
        return 0;
    packSitesWith(method == ClusterMethod::PortableRuns ? Kernel::Portable : bestKernel(), site, L,
                  *workspace.bits);
    return findLargestClusterWith(method, *workspace.bits, largest, nOccupied, L, workspace);
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

int findLargestCluster(const SiteBits& bits, int* largest, int nOccupied, int L,
                       ClusterWorkspace& workspace)
{
    if (!insideContract(nOccupied, L))
        return 0;
    return detail::findLargestClusterWith(detail::bestClusterMethod(nOccupied, L), bits, largest,
                                          nOccupied, L, workspace);
}

int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L)
{
    ClusterWorkspace workspace;
    return findLargestCluster(site, occupied, largest, nOccupied, L, workspace);
}

} // namespace model
