#pragma once

#include "stats/geometry.h"

#include <cstdint>
#include <string>
#include <vector>

// The memory a run needs, estimated before any sample, against what the machine offers.
namespace cli {

struct MemoryNeeds
{
    std::vector<stats::Geometry> sizes;
    std::uint64_t samples = 0; // per size, all ranks together
    int threads = 1;           // per rank
    int ranks = 1;
    std::vector<double> snapshotAt; // the p of the snapshots; empty: none
};

// Bytes rank 0 holds at its peak: every size's sums (per occupation number of its sites or
// bonds, and its snapshots) and per-sample events (which end up with it), and at once either the
// threads' lattices and totals, or what writing the result takes, or another rank's totals
// arriving.
double bytesNeeded(const MemoryNeeds& needs);

// Physical memory, or less where a control group or a resource limit says so.
double bytesOffered();

// "" or a one-line refusal with the figure needed.
std::string checkMemory(const MemoryNeeds& needs);

} // namespace cli
