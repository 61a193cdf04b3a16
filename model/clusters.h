#pragma once

#include <cstdint>
#include <vector>

// Finds the largest cluster of nearest-neighbour occupied sites (up, right, down, left; no
// diagonals, no wrap-around) of a lattice realised by occupySites().
//
// Clusters are grown breadth-first, in increasing order of their lowest-numbered site, with the
// neighbours of each site taken in the order up, right, down, left. Only a strictly larger
// cluster replaces the best one, so a tie goes to the cluster grown first, and `largest` lists
// the winner in its breadth-first discovery order, starting with its lowest-numbered site.
//
// The lattice is copied into a grid with a border of empty cells, one byte per cell, in which a
// cell is cleared the moment it joins a cluster: the border removes every edge test, and a
// cleared cell can neither start nor join another cluster. All clusters share one queue, each
// in its own stretch, so the winner is translated back to site numbers once, at the end.
namespace model {

// Scratch memory of the cluster pass, sized for the largest lattice once, so that a pass
// allocates nothing.
class ClusterWorkspace
{
public:
    ClusterWorkspace();

    std::vector<std::uint8_t> grid;
    std::vector<std::int32_t> queue;
};

// Writes the sites of the largest cluster to largest[1 … size] in discovery order and returns
// size (0, with `largest` untouched, when nothing is occupied). Reads site[1 … L²] and
// occupied[1 … nOccupied] as occupySites() wrote them. Requires 1 ≤ L ≤ 600.
int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L,
                       ClusterWorkspace& workspace);

// The same with scratch memory of its own for the duration of the call.
int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L);

} // namespace model
