#pragma once

#include "pgrid.h"
#include "ranks.h"

#include <cstdint>
#include <string>
#include <vector>

// `percolation-stats run`: samples every size, then writes curves, estimates and totals.
namespace cli {

struct RunSettings
{
    std::vector<int> sizes;
    std::string boundary = "open";
    std::uint64_t samples = 0;
    std::uint64_t seed = 1;
    int threads = 0; // every core
    PGrid grid;
    std::uint64_t firstSample = 0;
    std::string output;
    bool force = false;
};

// Sorts the sizes; returns a one-line reason if the settings cannot run, or "".
std::string checkRunSettings(RunSettings& settings, int threadsPerRank);

// The exit status: 0, 1 on failure, 128 + signal when interrupted (the partial result is
// written).
int runCommand(RunSettings settings, const Ranks& ranks);

} // namespace cli
