#pragma once

#include <cstdint>
#include <vector>

// The cluster of one site, found on demand: a single breadth-first search from the site over its
// occupied nearest neighbours (up, right, down, left; open boundaries), the search of
// E. F. Moore, "The shortest path through a maze" (1959). It reads the lattice arrays and touches
// nothing else: not the lattice, not the generator.
//
// Invariants: a site belongs to the last cluster found exactly when its mark equals the current
// stamp, so starting a new search costs no clearing; the last answer stays valid until forget(),
// which the owner calls whenever the lattice changes. Scratch memory is taken on the first search
// and kept.
namespace model {

struct SiteCluster
{
    int size = 0; // 0 for an empty site
    bool spansTopToBottom = false;
    bool spansLeftToRight = false;
    // The cluster listed in largest[1 …], whatever the sizes of the others.
    bool isLargest = false;
    // As large as the listed largest cluster; true also for the listed one.
    bool hasLargestSize = false;
};

class ClusterQuery
{
public:
    // The cluster of site s (1 … L²) of the lattice site[1 … L²], compared with the largest
    // cluster largest[1 … largestSize] that findLargestCluster() wrote for the same lattice.
    // A site of the last cluster found gets the last answer without a new search.
    const SiteCluster& clusterOf(const int* site, int L, int s, const int* largest,
                                 int largestSize);

    // The lattice has changed: the next question searches again.
    void forget() { current = false; }

private:
    void search(const int* site, int L, int s, const int* largest, int largestSize);

    std::vector<std::uint32_t> mark;
    std::vector<std::int32_t> queue;
    std::uint32_t stamp = 0;
    bool current = false;
    SiteCluster answer;
};

} // namespace model
