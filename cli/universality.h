#pragma once

#include "job.h"
#include "ranks.h"

#include "stats/geometry.h"

#include <cstdint>
#include <string>
#include <vector>

// `percolation-stats universality`: every lattice and model chosen, at a few sizes each, sampled
// with canonical snapshots at the known threshold; per pair the combined threshold estimate and
// the critical exponents by finite-size scaling, gathered in one table (stats/exponenttable.h)
// printed as Markdown and written as PREFIX.md and PREFIX.json.
//
// Samples per size fall as 1/L (`samples` at the largest size, ⌈samples·L_max/L⌉ at each L): the
// relative spread of S_max at pc does not depend on L while a sample costs ∝ L^d, so for one
// budget this gives the exponents about 0.6 times the error of equal counts per size.
namespace cli {

// The processor time a run with the defaults took (all eight pairs, measured), for the help.
inline constexpr int UniversalityCpuMinutes = 21;

struct UniversalitySettings
{
    std::vector<int> sizes{32, 64, 128, 256}; // in the plane
    std::vector<int> cubicSizes{12, 16, 24, 32};
    // At the largest size of each pair. With seed 1 every exponent of the six pairs in the plane
    // came within 1 % and 3σ of its exact value; β/ν's error is 0.5–0.7 % of it.
    std::uint64_t samples = 20000;
    std::vector<stats::Lattice> lattices{stats::Lattices.begin(), stats::Lattices.end()};
    std::vector<stats::Model> models{stats::Models.begin(), stats::Models.end()};
    stats::Boundary boundary = stats::Boundary::Torus;
    std::uint64_t seed = 1;
    Execution execution;
    std::string output;
    bool force = false;
};

// The samples a size L of a pair runs, whose largest size is `largest`: ⌈samples·largest/L⌉,
// as run --samples N@L counts them.
std::uint64_t samplesAt(std::uint64_t samples, int L, int largest);

// "" or the one-line reason why the settings cannot run, naming the option; touches nothing.
std::string checkUniversality(const UniversalitySettings& settings, int ranks);

int universalityCommand(const UniversalitySettings& settings, const Ranks& ranks);

} // namespace cli
