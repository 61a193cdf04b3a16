#pragma once

#include "lattice.h"

#include <cstdint>
#include <memory>
#include <vector>

// Finds the largest cluster of nearest-neighbour occupied sites (up, right, down, left; no
// diagonals, no wrap-around) of a lattice realised by occupySites().
//
// Clusters are grown breadth-first, in increasing order of their lowest-numbered site, with the
// neighbours of each site taken in the order up, right, down, left. Only a strictly larger
// cluster replaces the best one, so a tie goes to the cluster grown first, and `largest` lists
// the winner in its breadth-first discovery order, starting with its lowest-numbered site.
//
// Two exact methods (described in clusters.cpp) share this contract: growing every cluster in a
// padded grid, or union–find over horizontal runs followed by growing the winner alone.
namespace model {

// Scratch memory of the cluster pass, sized for the largest lattice once, so that a pass
// allocates nothing.
class ClusterWorkspace
{
public:
    ClusterWorkspace();

    // The lattice packed from site[], for the calls that take site[].
    std::unique_ptr<SiteBits> bits;
    std::vector<std::uint8_t> grid;
    std::vector<std::int32_t> queue;
    // Horizontal runs of occupied sites: the first run of every row, and of every run its
    // length (for a root, its cluster's size) and union–find parent.
    std::vector<std::int32_t> rowFirstRun;
    std::vector<std::int32_t> runLength;
    std::vector<std::int32_t> runParent;
};

// Writes the sites of the largest cluster to largest[1 … size] in discovery order and returns
// size (0, with `largest` untouched, when nothing is occupied). Reads site[1 … L²] and
// occupied[1 … nOccupied] as occupySites() wrote them; of a site only the lowest bit counts, so
// other values than 0 and 1 cannot lead the pass outside its arrays. A call with L outside
// 1 … 600 or nOccupied outside 0 … L² returns 0 and writes nothing; the arguments are checked
// before any arithmetic on them.
int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L,
                       ClusterWorkspace& workspace);

// The same from the lattice's bits, as occupySites() wrote them with site[].
int findLargestCluster(const SiteBits& bits, int* largest, int nOccupied, int L,
                       ClusterWorkspace& workspace);

// The same with scratch memory of its own for the duration of the call.
int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L);

namespace detail {

// The two exact ways of finding the largest cluster, exposed so that tests can prove each one
// exact; findLargestCluster() picks one by the lattice's density.
// PortableRuns is Runs as processors without the x86 kernels run it: no SIMD, and built for
// the baseline instruction set (given site[], it also packs them without SIMD).
enum class ClusterMethod { Growth, Runs, PortableRuns };

// For arguments that findLargestCluster() accepts.
ClusterMethod bestClusterMethod(int nOccupied, int L);
int findLargestClusterWith(ClusterMethod method, const int* site, const int* occupied,
                           int* largest, int nOccupied, int L, ClusterWorkspace& workspace);
int findLargestClusterWith(ClusterMethod method, const SiteBits& bits, int* largest, int nOccupied,
                           int L, ClusterWorkspace& workspace);

} // namespace detail

} // namespace model
