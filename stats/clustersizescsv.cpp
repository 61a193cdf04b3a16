#include "clustersizescsv.h"

#include "clustersizes.h"

#include <charconv>
#include <cmath>
#include <ostream>

namespace stats {

namespace {

std::string number(double value)
{
    if (!std::isfinite(value))
        return {};
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

} // namespace

std::string writeClusterSizesCsv(std::ostream& out, const std::vector<Totals>& sizes)
{
    bool any = false;
    for (const Totals& t : sizes)
        any = any || !t.snapshots.empty();
    if (!any)
        return "no size has snapshots (run it with --ns-at)";
    out << "p,L,samples,s_first,s_last,s,n_s,n_s_error\n";
    for (const Totals& t : sizes)
        for (const SnapshotPoint& point : t.snapshots.points) {
            const auto N = static_cast<double>(t.sites());
            const int bins = binsUpTo(t.sites());
            std::uint64_t samples = 0;
            for (const SnapshotSums& g : point.groups)
                samples += g.samples;
            if (samples == 0)
                continue;
            for (int b = 0; b < bins; ++b) {
                const auto bin = static_cast<std::size_t>(b);
                const double width = double(binLast(b) - binFirst(b) + 1);
                auto density = [&](double counts, double count) {
                    return counts / (count * N * width);
                };
                double counts = 0;
                for (const SnapshotSums& g : point.groups)
                    counts += double(g.sizeCounts[bin]);
                const double all = density(counts, double(samples));
                // Jackknife over the groups that hold samples.
                std::vector<double> leftOut;
                for (const SnapshotSums& g : point.groups)
                    if (g.samples > 0 && g.samples < samples)
                        leftOut.push_back(density(counts - double(g.sizeCounts[bin]),
                                                  double(samples - g.samples)));
                double error = std::nan("");
                if (leftOut.size() >= 2) {
                    const auto G = double(leftOut.size());
                    double mean = 0, squares = 0;
                    for (const double x : leftOut)
                        mean += x / G;
                    for (const double x : leftOut)
                        squares += (x - mean) * (x - mean);
                    error = std::sqrt((G - 1) / G * squares);
                }
                out << number(point.p) << ',' << t.L << ',' << samples << ',' << binFirst(b) << ','
                    << binLast(b) << ','
                    << number(std::sqrt(double(binFirst(b)) * double(binLast(b)))) << ','
                    << number(all) << ',' << number(error) << '\n';
            }
        }
    return {};
}

} // namespace stats
