#pragma once

#include "totals.h"

#include <iosfwd>
#include <vector>

// The canonical curves as a CSV table, the one format of percolation-stats and the statistics
// window: one row per size and p, written as it is computed, so that a table of any length
// needs no memory of its own.
//
// Columns: p, L, boundary, seed, samples, then each observable of canonical.h and its standard
// error (NAME, NAME_error). Numbers are the shortest text that reads back as the same double,
// whatever the locale; an error that cannot be computed (from a single sample) is left empty.
// Sizes without a sample have no rows.
namespace stats {

void writeCurvesCsv(std::ostream& out, const std::vector<Totals>& sizes,
                    const std::vector<double>& ps);

// The header line, without its newline, and what each column means, for help texts.
const char* curvesCsvHeader();
const char* curvesCsvColumns();

} // namespace stats
