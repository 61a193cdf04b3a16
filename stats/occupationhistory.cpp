#include "occupationhistory.h"

#include "streams.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace stats {

namespace {

constexpr int SiteBits = 20;
constexpr int NumberBits = 64 - SiteBits;
static_assert(OccupationHistory::MaxSide * OccupationHistory::MaxSide <= 1 << SiteBits);

enum Edge : std::uint8_t { Top = 1, Bottom = 2, Left = 4, Right = 8 };

bool joinsOppositeEdges(std::uint8_t edges)
{
    return (edges & (Top | Bottom)) == (Top | Bottom) ||
           (edges & (Left | Right)) == (Left | Right);
}

// The union–find of the sweep itself: union by size, path halving, and for each root its
// cluster's oldest node and the edges it touches.
struct Finder
{
    std::vector<std::int32_t> parent, size, oldest;
    std::vector<std::uint8_t> edges;

    explicit Finder(std::size_t n) : parent(n), size(n), oldest(n), edges(n) {}

    std::int32_t find(std::int32_t x)
    {
        while (parent[std::size_t(x)] != x) {
            parent[std::size_t(x)] = parent[std::size_t(parent[std::size_t(x)])];
            x = parent[std::size_t(x)];
        }
        return x;
    }
};

} // namespace

OccupationHistory::OccupationHistory(int side, std::uint64_t seed) : L(side), streamSeed(seed)
{
    assert(L >= 1 && L <= MaxSide);
    const auto N = static_cast<std::size_t>(L) * static_cast<std::size_t>(L);
    const auto never = static_cast<std::int32_t>(N + 1);
    SampleStream stream(seed, 0);
    keys.resize(N);
    for (std::size_t s = 0; s < N; ++s)
        keys[s] = (stream.next() >> SiteBits << SiteBits) | s;
    std::sort(keys.begin(), keys.end());

    nodeSite.resize(N);
    std::vector<std::int32_t> nodeOf(N);
    for (std::size_t k = 0; k < N; ++k) {
        nodeSite[k] = static_cast<std::int32_t>(keys[k] & ((1u << SiteBits) - 1));
        nodeOf[std::size_t(nodeSite[k])] = static_cast<std::int32_t>(k);
    }

    parent.resize(N);
    linkedAt.assign(N, never);
    spanFrom.assign(N, never);
    clusterCount.assign(N + 1, 0);
    largestSites.assign(N + 1, 0);
    largestNode.assign(N + 1, -1);
    firstSpan = never;

    Finder finder(N);
    int clustersNow = 0;
    std::int32_t bestSize = 0;
    std::int32_t bestRoot = -1;
    for (std::size_t k = 0; k < N; ++k) {
        const auto node = static_cast<std::int32_t>(k);
        const int n = node + 1;
        const int site = nodeSite[k];
        const int row = site / L;
        const int column = site % L;
        finder.parent[k] = node;
        finder.size[k] = 1;
        finder.oldest[k] = node;
        finder.edges[k] =
            static_cast<std::uint8_t>((row == 0 ? Top : 0) | (row == L - 1 ? Bottom : 0) |
                                      (column == 0 ? Left : 0) | (column == L - 1 ? Right : 0));
        parent[k] = node;
        ++clustersNow;

        std::int32_t root = node;
        const int neighbours[4] = {row > 0 ? site - L : -1, column < L - 1 ? site + 1 : -1,
                                   row < L - 1 ? site + L : -1, column > 0 ? site - 1 : -1};
        for (const int neighbour : neighbours) {
            if (neighbour < 0 || nodeOf[std::size_t(neighbour)] > node)
                continue;
            const std::int32_t other = finder.find(nodeOf[std::size_t(neighbour)]);
            if (other == root)
                continue;
            --clustersNow;
            auto& a = finder;
            const auto big =
                a.size[std::size_t(root)] >= a.size[std::size_t(other)] ? root : other;
            const auto small = big == root ? other : root;
            // The recorded forest: the younger cluster's oldest node under the older one's.
            const std::int32_t older =
                std::min(a.oldest[std::size_t(big)], a.oldest[std::size_t(small)]);
            const std::int32_t younger =
                std::max(a.oldest[std::size_t(big)], a.oldest[std::size_t(small)]);
            parent[std::size_t(younger)] = older;
            linkedAt[std::size_t(younger)] = n;
            a.parent[std::size_t(small)] = big;
            a.size[std::size_t(big)] += a.size[std::size_t(small)];
            a.oldest[std::size_t(big)] = older;
            a.edges[std::size_t(big)] |= a.edges[std::size_t(small)];
            root = big;
        }

        const std::int32_t oldest = finder.oldest[std::size_t(root)];
        if (joinsOppositeEdges(finder.edges[std::size_t(root)])) {
            spanFrom[std::size_t(oldest)] = std::min(spanFrom[std::size_t(oldest)], n);
            firstSpan = std::min(firstSpan, n);
        }
        // Only the cluster just grown can overtake the largest; a cluster that swallowed the
        // largest is larger still.
        const std::int32_t size = finder.size[std::size_t(root)];
        if (size > bestSize || (size == bestSize && oldest < bestRoot)) {
            bestSize = size;
            bestRoot = oldest;
        }
        clusterCount[std::size_t(n)] = clustersNow;
        largestSites[std::size_t(n)] = bestSize;
        largestNode[std::size_t(n)] = bestRoot;
    }
}

int OccupationHistory::occupiedAt(double p) const
{
    if (!(p > 0))
        return 0;
    if (p >= 1)
        return siteCount();
    // A site is occupied when its number u (of NumberBits bits) is below p · 2^NumberBits.
    const double scaled = std::ldexp(p, NumberBits);
    const auto bound = static_cast<std::uint64_t>(std::ceil(scaled));
    if (bound >> NumberBits != 0)
        return siteCount();
    const auto end = std::lower_bound(keys.begin(), keys.end(), bound << SiteBits);
    return static_cast<int>(end - keys.begin());
}

void OccupationHistory::findRoots(int n, std::int32_t* root) const
{
    assert(n >= 0 && n <= siteCount());
    const std::int32_t* up = parent.data();
    const std::int32_t* linked = linkedAt.data();
    for (std::int32_t k = 0; k < n; ++k)
        root[k] = linked[k] <= n ? root[up[k]] : k;
}

} // namespace stats
