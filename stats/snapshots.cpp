#include "snapshots.h"

#include "clustersizes.h"
#include "scaling.h"
#include "threshold.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace stats {

std::int64_t chiHalfWidth(const Geometry& g)
{
    const double p = knownThreshold(g.lattice, g.model);
    const double E = static_cast<double>(g.elements());
    const double perSite = E / static_cast<double>(g.sites());
    const double exponent = g.dimensions() - knownExponent(g.dimensions(), "1/nu").value;
    return static_cast<std::int64_t>(
        std::ceil(2 * perSite * std::pow(double(g.L), exponent) + 8 * std::sqrt(E * p * (1 - p))));
}

ChiExtent chiExtent(const Geometry& g, const std::vector<double>& ps)
{
    const double pc = knownThreshold(g.lattice, g.model);
    if (std::find(ps.begin(), ps.end(), pc) == ps.end())
        return {};
    const std::int64_t E = g.elements();
    const std::int64_t h = chiHalfWidth(g);
    const auto centre = static_cast<std::int64_t>(std::llround(double(E) * pc));
    const std::int64_t first = std::max<std::int64_t>(0, centre - h);
    return {first, std::min(E, centre + h) - first + 1};
}

Snapshots snapshotLayout(const Geometry& g, const std::vector<double>& ps)
{
    Snapshots s;
    SnapshotSums empty;
    empty.sizeCounts.assign(static_cast<std::size_t>(binsUpTo(g.sites())), 0);
    for (const double p : ps)
        s.points.push_back({p, std::vector<SnapshotSums>(JackknifeGroups, empty)});
    const ChiExtent window = chiExtent(g, ps);
    s.chiFirst = window.first;
    if (window.length > 0)
        s.chi.assign(JackknifeGroups,
                     std::vector<UInt128>(static_cast<std::size_t>(window.length)));
    return s;
}

bool Snapshots::sameLayout(const Snapshots& other) const
{
    if (points.size() != other.points.size() || chiFirst != other.chiFirst ||
        chi.size() != other.chi.size() || chiLength() != other.chiLength())
        return false;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (points[i].p != other.points[i].p ||
            points[i].groups.size() != other.points[i].groups.size() ||
            points[i].groups.front().sizeCounts.size() !=
                other.points[i].groups.front().sizeCounts.size())
            return false;
    return true;
}

void Snapshots::add(const Snapshots& other)
{
    for (std::size_t i = 0; i < points.size(); ++i)
        for (std::size_t g = 0; g < points[i].groups.size(); ++g) {
            SnapshotSums& to = points[i].groups[g];
            const SnapshotSums& from = other.points[i].groups[g];
            to.samples += from.samples;
            to.largest += from.largest;
            to.largestSquared += from.largestSquared;
            to.squares += from.squares;
            for (std::size_t b = 0; b < to.sizeCounts.size(); ++b)
                to.sizeCounts[b] += from.sizeCounts[b];
        }
    for (std::size_t g = 0; g < chi.size(); ++g)
        for (std::size_t k = 0; k < chi[g].size(); ++k)
            chi[g][k] += other.chi[g][k];
}

std::string describeLayout(const Snapshots& s)
{
    if (s.empty())
        return "no snapshots";
    std::ostringstream text;
    text.precision(10);
    text << "snapshots at p = ";
    for (std::size_t i = 0; i < s.points.size(); ++i)
        text << (i > 0 ? ", " : "") << s.points[i].p;
    if (!s.chi.empty())
        text << " and a window of chi over n = " << s.chiFirst << " … "
             << s.chiFirst + std::int64_t(s.chiLength()) - 1;
    return text.str();
}

} // namespace stats
