#pragma once

#include <cstdint>
#include <vector>

// One L × L lattice (open boundaries, nearest neighbours) at every occupation number at once,
// for watching the transition as p moves. Every site draws one number from the statistics
// engine's stream (seed, 0), in row-major order, and is occupied at p when its number is below
// p; so a site occupied at p stays occupied at every larger p, and the lattice at p is the
// lattice after the first n(p) additions of the sites in increasing order of their numbers.
//
// One Newman–Ziff sweep in that order (M. E. J. Newman and R. M. Ziff, Phys. Rev. E 64, 016706,
// 2001) records what every n needs. Besides a union–find with path halving that finds roots
// during the sweep, it records a second forest without path compression: every merge links the
// younger cluster's oldest site under the older cluster's oldest site and stores the n at which
// it was made. Nodes are numbered by the order of occupation, so a parent always precedes its
// children and a cluster's root is its oldest site, whatever the history. Link times grow along
// every upward path, hence the clusters at n are the trees of the links made by n, and one pass
// over the first n nodes in order finds every root. Per n the sweep also keeps the number of
// clusters, the largest cluster (most sites; of equal ones, the one with the oldest site) and
// the first n at which some cluster joins opposite edges; per root, the n from which its
// cluster joins opposite edges.
namespace stats {

class OccupationHistory
{
public:
    // Largest side: the node numbers and the site numbers share one 64-bit sort key.
    static constexpr int MaxSide = 1024;

    // 1 ≤ L ≤ MaxSide.
    OccupationHistory(int L, std::uint64_t seed);

    int side() const { return L; }
    std::uint64_t seed() const { return streamSeed; }
    int siteCount() const { return L * L; }

    // The number of sites occupied at p (0 for p ≤ 0, L² for p ≥ 1).
    int occupiedAt(double p) const;

    // The site (row-major from 0) occupied as the k-th, k = 0 … L² − 1: node k.
    int siteOf(int node) const { return nodeSite[static_cast<std::size_t>(node)]; }

    // At occupation number n = 0 … L²:
    int clusters(int n) const { return clusterCount[static_cast<std::size_t>(n)]; }
    int largestSize(int n) const { return largestSites[static_cast<std::size_t>(n)]; }
    // The largest cluster's root node, −1 when nothing is occupied.
    int largestRoot(int n) const { return largestNode[static_cast<std::size_t>(n)]; }
    // Whether some cluster joins the top and bottom rows or the left and right columns.
    bool spans(int n) const { return n >= firstSpan; }
    // Whether the cluster of `root`, a root at n, joins opposite edges at n.
    bool rootSpans(int root, int n) const { return spanFrom[static_cast<std::size_t>(root)] <= n; }

    // Writes root[k] for the occupied nodes k = 0 … n − 1: the root node of k's cluster at n.
    void findRoots(int n, std::int32_t* root) const;

private:
    int L;
    std::uint64_t streamSeed;
    // The sorted keys: each site's number in the high bits, its site in the low ones.
    std::vector<std::uint64_t> keys;
    std::vector<std::int32_t> nodeSite;
    std::vector<std::int32_t> parent;   // per node; a final root is its own parent
    std::vector<std::int32_t> linkedAt; // per node: the n of its link, past L² for none
    std::vector<std::int32_t> spanFrom; // per node, as a root; past L² for never
    std::vector<std::int32_t> clusterCount;
    std::vector<std::int32_t> largestSites;
    std::vector<std::int32_t> largestNode;
    int firstSpan = 0;
};

} // namespace stats
