#pragma once

#include <string>
#include <vector>

// The values of p at which the canonical curves are written: p_min, p_min + step, … up to p_max.
// The default, 0 … 1 in steps of 0.002, resolves the transition of L = 256 (width about
// L^(−3/4) ≈ 0.016) with a few points and shows P∞ and χ over the whole range.
namespace cli {

struct PGrid
{
    double min = 0;
    double max = 1;
    double step = 0.002;

    // Counted in decimal, so that each value is the double nearest its decimal: 0.593, never
    // 0.5930000000000001, and the same bits on every machine.
    std::vector<double> values() const;
    std::string check() const; // a one-line reason if unusable, or ""
};

// The CSV is written as it goes, so this bounds the time a grid takes, not its memory.
inline constexpr double MaxGridSteps = 1e6;

} // namespace cli
