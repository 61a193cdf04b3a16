#include "curvescsv.h"

#include "canonical.h"

#include <charconv>
#include <cmath>
#include <ostream>
#include <string>

namespace stats {

namespace {

void appendNumber(std::string& row, double value)
{
    if (!std::isfinite(value))
        return;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    row.append(text, end);
}

} // namespace

std::string curvesCsvHeader(int dimensions)
{
    std::string line = "p,L,boundary,seed,samples";
    for (const Observable o : observablesOf(dimensions)) {
        const std::string name = observableName(o, dimensions);
        line += "," + name + "," + name + "_error";
    }
    return line + ",lattice,model";
}

void writeCurvesCsv(std::ostream& out, const std::vector<Totals>& sizes,
                    const std::vector<double>& ps)
{
    const int dimensions = sizes.empty() ? 2 : sizes.front().geometry().dimensions();
    out << curvesCsvHeader(dimensions) << '\n';
    const std::vector<Observable> columns = observablesOf(dimensions);
    std::string row;
    for (const Totals& totals : sizes) {
        if (totals.samples() == 0)
            continue;
        const CanonicalCurves curves(totals);
        const std::string fixed =
            ',' + std::to_string(totals.L) + ',' + boundaryName(totals.boundary) + ',' +
            std::to_string(totals.seed) + ',' + std::to_string(totals.samples());
        const std::string last =
            std::string(",") + latticeName(totals.lattice) + ',' + modelName(totals.model) + '\n';
        for (double p : ps) {
            const CurvePoint point = curves.at(p);
            row.clear();
            appendNumber(row, p);
            row += fixed;
            for (const Observable o : columns) {
                row += ',';
                appendNumber(row, point.value[static_cast<std::size_t>(o)]);
                row += ',';
                appendNumber(row, point.error[static_cast<std::size_t>(o)]);
            }
            row += last;
            out.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
    }
}

const char* curvesCsvColumns()
{
    return R"(Columns of the curves (PREFIX.csv), one row per size and p:
  p                  occupation probability of a site or a bond, as on the grid
  L                  lattice size: L × L = N sites (L × L × L for the cube)
  boundary, seed     as given to run
  samples            samples behind the row
  span_vertical      probability that a cluster spans top to bottom: crosses between
                     the edges (open) or wraps around (torus)
  span_horizontal    the same left to right
  span_either        in either direction
  span_both          in both directions
                     (on the cube span_z, span_y, span_x, span_any, span_all: each
                     direction, any direction, and every direction)
  p_inf              P∞ = ⟨S_max⟩/N, the fraction of sites in the largest cluster
  p_inf_squared      ⟨(S_max/N)²⟩
  chi                χ = ⟨Σs² − S_max²⟩/N over the clusters s, the mean cluster size
                     with the largest one left out
  clusters_per_site  ⟨number of clusters⟩/N
Each value is followed by NAME_error, its standard error: exact for the span columns,
an upper bound for p_inf, chi and clusters_per_site, and for p_inf_squared a first-order
estimate. With a single sample the errors are empty.
  lattice, model     as given to run: square, triangular, honeycomb or cubic; site or
                     bond)";
}

} // namespace stats
