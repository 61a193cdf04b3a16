#include "curvescsv.h"

#include "statisticsrun.h"

#include <locale>
#include <ostream>

namespace statistics {

void writeCurvesCsv(std::ostream& out, stats::Boundary boundary, std::uint64_t seed,
                    const std::vector<SizeCurve>& sizes)
{
    const std::locale previous = out.imbue(std::locale::classic());
    const auto precision = out.precision(12);
    out << "L,boundary,seed,samples,p,span_mean";
    for (int i = 0; i < stats::ObservableCount; ++i) {
        const char* name = stats::observableName(static_cast<stats::Observable>(i));
        out << ',' << name << ',' << name << "_error";
    }
    out << '\n';
    for (const SizeCurve& size : sizes) {
        for (const stats::CurvePoint& point : size.points) {
            out << size.L << ',' << stats::boundaryName(boundary) << ',' << seed << ','
                << size.samples << ',' << point.p << ',' << spanningValue(point);
            for (std::size_t i = 0; i < point.value.size(); ++i)
                out << ',' << point.value[i] << ',' << point.error[i];
            out << '\n';
        }
    }
    out.precision(precision);
    out.imbue(previous);
}

} // namespace statistics
