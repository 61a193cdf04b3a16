#pragma once

#include "jsonfile.h"
#include "pgrid.h"
#include "stats/totals.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

// What a run was asked for: the lattice, model, sizes, boundary, seed, sample range and p grid.
// PREFIX.json records it, so that `resume` can finish an interrupted run exactly as the run
// would have.
namespace cli {

struct Request
{
    stats::Lattice lattice = stats::Lattice::Square;
    stats::Model model = stats::Model::Site;
    std::vector<int> sizes; // ascending
    stats::Boundary boundary = stats::Boundary::Open;
    std::uint64_t seed = 1;
    std::uint64_t firstSample = 0;
    std::uint64_t samples = 0; // per size, or at L = samplesAt
    // 0: `samples` at every size; otherwise samples ∝ 1/L, `samples` at this L (samplesFor()).
    int samplesAt = 0;
    PGrid grid;
    // The p of the snapshots (snapshots.h), ascending; empty: none.
    std::vector<double> snapshotAt;

    // Sorts the sizes; returns a one-line reason if the request cannot run, or "".
    std::string check();

    stats::Geometry geometry(int L) const { return {lattice, model, L, boundary}; }
    // The samples of size L: ⌈samples · samplesAt / L⌉ when samplesAt is set.
    std::uint64_t samplesFor(int L) const;
    // The most samples of any size.
    std::uint64_t mostSamples() const;
    std::vector<stats::Geometry> geometries() const;
    // Empty totals of size L with the snapshot layout asked for.
    stats::Totals totals(int L) const;

    // The fields "request" holds ("lattice", "model", "boundary", "seed" and "p_grid" are the
    // summary's own).
    nlohmann::ordered_json json() const;
    // Reads what json() and the summary wrote; returns "" or a one-line reason. A result of
    // the version before lattices and models were recorded is of square site percolation.
    std::string read(const JsonFile& file);
};

// The names --lattice and --model accept, as geometry.h spells them.
std::vector<std::string> latticeChoices();
std::vector<std::string> modelChoices();
// "a, b, c", as the refusals list accepted values.
std::string listOf(const std::vector<std::string>& words);

// Reads "lattice" and "model" of a result's JSON, where a result of the version before them
// has neither (and is of square site percolation); returns "" or a one-line reason.
std::string readLatticeAndModel(const JsonFile& file, stats::Lattice& lattice,
                                stats::Model& model);

// Reads --ns-at: "none", or a comma-separated list of p in (0, 1) and "pc", the known threshold
// of the lattice and model; sorted. Returns "" or a one-line reason.
std::string readSnapshotList(const std::string& text, stats::Lattice lattice, stats::Model model,
                             std::vector<double>& values);
// Whether a list of snapshot p is usable: "" or a one-line reason.
std::string checkSnapshotList(const std::vector<double>& values);

// Reads --samples: "N", or "N@L" for N samples at size L and proportionally fewer at larger
// sizes (more at smaller ones). Returns "" or a one-line reason.
std::string readSampleCount(const std::string& text, std::uint64_t& samples, int& samplesAt);

// Reads "p_grid" of a result's JSON.
std::string readGrid(const JsonFile& file, PGrid& grid);

} // namespace cli
