#pragma once

#include <cstdint>
#include <vector>

// The explorer's lattice at p worked out from scratch: each site's number drawn again from the
// stream (seed, 0) in row-major order, the sites below p occupied, every cluster grown
// breadth-first, its size, oldest site (the smallest number) and the edges it touches noted.
// It is not part of the program: the explorer's benchmark measures the precomputed redraw
// against it, and the tests compare the two pictures pixel for pixel.
namespace straightforward {

struct ExplorerSite
{
    int oldestSite = -1;  // of the site's cluster; −1 for an empty site
    bool largest = false; // most sites; of equal ones, the one with the oldest site
    bool spans = false;   // joins the top and bottom rows or the left and right columns
};

// Row-major, L² entries.
std::vector<ExplorerSite> exploreAt(int L, std::uint64_t seed, double p);

} // namespace straightforward
