#pragma once

#include "pgrid.h"

#include <optional>
#include <string>
#include <vector>

// `percolation-stats merge`: adds the accumulator files of separate runs of the same sizes,
// boundary and seed, and writes what one run of all their samples would have written.
namespace cli {

struct MergeSettings
{
    std::vector<std::string> inputs; // PREFIX.totals files, or their PREFIX
    std::optional<PGrid> grid;       // by default the grid the inputs were written with
    std::string output;
    bool force = false;
};

int mergeCommand(const MergeSettings& settings);

} // namespace cli
