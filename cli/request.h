#pragma once

#include "jsonfile.h"
#include "pgrid.h"
#include "stats/totals.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

// What a run was asked for: the sizes, boundary, seed, sample range and p grid. PREFIX.json
// records it, so that `resume` can finish an interrupted run exactly as the run would have.
namespace cli {

struct Request
{
    std::vector<int> sizes; // ascending
    stats::Boundary boundary = stats::Boundary::Open;
    std::uint64_t seed = 1;
    std::uint64_t firstSample = 0;
    std::uint64_t samples = 0; // per size
    PGrid grid;

    // Sorts the sizes; returns a one-line reason if the request cannot run, or "".
    std::string check();

    // The fields "request" holds ("boundary", "seed" and "p_grid" are the summary's own).
    nlohmann::ordered_json json() const;
    // Reads what json() and the summary wrote; returns "" or a one-line reason.
    std::string read(const JsonFile& file);
};

// Reads "p_grid" of a result's JSON.
std::string readGrid(const JsonFile& file, PGrid& grid);

} // namespace cli
