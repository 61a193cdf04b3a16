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
// Each pair is a result of its own, PREFIX-lattice-model, sampled by the job `run` uses, so that
// it checkpoints, stops on a signal and serves scaling, ns, plot and resume like any other. The
// same command again continues: complete pairs are read, partial ones finished, missing ones
// run, and the table comes out as one uninterrupted start would have made it.
//
// Samples per size fall as 1/L (`samples` at the largest size, ⌈samples·L_max/L⌉ at each L, as
// run --samples N@L_max counts them): the relative spread of S_max at pc does not depend on L
// while a sample costs ∝ L^d, so for one budget this gives the exponents about 0.6 times the
// error of equal counts per size.
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
    // Replaces other files at PREFIX.md and .json, and starts anew the pairs made otherwise.
    bool force = false;
    std::vector<std::string> arguments; // as given, for the line that says how to go on
};

// "" or the one-line reason why the settings cannot run, naming the option; touches nothing.
// The pairs' files are checked when the command starts.
std::string checkUniversality(const UniversalitySettings& settings);

int universalityCommand(const UniversalitySettings& settings, const Ranks& ranks);

} // namespace cli
