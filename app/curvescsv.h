#pragma once

#include "stats/canonical.h"
#include "stats/totals.h"

#include <cstdint>
#include <iosfwd>
#include <vector>

// The curves of the statistics window as a CSV table, one row per size and p.
namespace statistics {

struct SizeCurve
{
    int L = 0;
    std::uint64_t samples = 0;
    std::vector<stats::CurvePoint> points;
};

// Columns: L, boundary, seed, samples, p, span_mean (the plotted spanning probability), then
// every observable and its standard error. Numbers are written in the C locale, whatever the
// user's, so that any program can read them back.
void writeCurvesCsv(std::ostream& out, stats::Boundary boundary, std::uint64_t seed,
                    const std::vector<SizeCurve>& sizes);

} // namespace statistics
