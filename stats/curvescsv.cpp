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

std::string header()
{
    std::string line = "p,L,boundary,seed,samples";
    for (int o = 0; o < ObservableCount; ++o) {
        const std::string name = observableName(static_cast<Observable>(o));
        line += "," + name + "," + name + "_error";
    }
    return line;
}

} // namespace

void writeCurvesCsv(std::ostream& out, const std::vector<Totals>& sizes,
                    const std::vector<double>& ps)
{
    out << curvesCsvHeader() << '\n';
    std::string row;
    for (const Totals& totals : sizes) {
        if (totals.samples() == 0)
            continue;
        const CanonicalCurves curves(totals);
        const std::string fixed =
            ',' + std::to_string(totals.L) + ',' + boundaryName(totals.boundary) + ',' +
            std::to_string(totals.seed) + ',' + std::to_string(totals.samples());
        for (double p : ps) {
            const CurvePoint point = curves.at(p);
            row.clear();
            appendNumber(row, p);
            row += fixed;
            for (std::size_t o = 0; o < ObservableCount; ++o) {
                row += ',';
                appendNumber(row, point.value[o]);
                row += ',';
                appendNumber(row, point.error[o]);
            }
            row += '\n';
            out.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
    }
}

const char* curvesCsvHeader()
{
    static const std::string line = header();
    return line.c_str();
}

const char* curvesCsvColumns()
{
    return R"(Columns of the curves (PREFIX.csv), one row per size and p:
  p                  occupation probability, as on the grid
  L                  lattice size: L × L = N sites
  boundary, seed     as given to run
  samples            samples behind the row
  span_vertical      probability that a cluster spans top to bottom: crosses between
                     the edges (open) or wraps around (torus)
  span_horizontal    the same left to right
  span_either        in either direction
  span_both          in both directions
  p_inf              P∞ = ⟨S_max⟩/N, the fraction of sites in the largest cluster
  p_inf_squared      ⟨(S_max/N)²⟩
  chi                χ = ⟨Σs² − S_max²⟩/N over the clusters s, the mean cluster size
                     with the largest one left out
  clusters_per_site  ⟨number of clusters⟩/N
Each value is followed by NAME_error, its standard error: exact for the span columns,
an upper bound for p_inf, chi and clusters_per_site, and for p_inf_squared a first-order
estimate. With a single sample the errors are empty.)";
}

} // namespace stats
