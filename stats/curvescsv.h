#pragma once

#include "totals.h"

#include <iosfwd>
#include <string>
#include <vector>

// The canonical curves as a CSV table, the one format of percolation-stats and the statistics
// window: one row per size and p, written as it is computed, so that a table of any length
// needs no memory of its own.
//
// Columns: p, L, boundary, seed, samples, then each observable of canonical.h in the order of
// observablesOf() and its standard error (NAME, NAME_error), then lattice and model. In the
// plane the events are span_vertical, span_horizontal, span_either and span_both; in space
// span_z, span_y, span_x, span_any and span_all. Every size of a table has the same lattice,
// model and boundary. Numbers are the shortest text that reads back as the same double,
// whatever the locale; an error that cannot be computed (from a single sample) is left empty.
// Sizes without a sample have no rows.
namespace stats {

void writeCurvesCsv(std::ostream& out, const std::vector<Totals>& sizes,
                    const std::vector<double>& ps);

// The header line of a lattice of `dimensions`, without its newline, and what each column
// means, for help texts.
std::string curvesCsvHeader(int dimensions);
const char* curvesCsvColumns();

} // namespace stats
