#pragma once

#include <string>

// `percolation-stats ns PREFIX`: the cluster-size distribution n_s of a result's snapshots
// (PREFIX.totals, run with --ns-at) written to PREFIX-ns.csv.
namespace cli {

struct NsSettings
{
    std::string input; // PREFIX, or PREFIX.totals
    bool force = false;
};

int nsCommand(const NsSettings& settings);

} // namespace cli
