#include "totals.h"

#include <algorithm>
#include <iterator>

namespace stats {

Totals::Totals(int size, Boundary boundaryKind, std::uint64_t runSeed)
    : Totals(Geometry{Lattice::Square, Model::Site, size, boundaryKind}, runSeed)
{
}

Totals::Totals(const Geometry& g, std::uint64_t runSeed)
    : L(g.L), boundary(g.boundary), lattice(g.lattice), model(g.model), seed(runSeed)
{
    const auto entries = static_cast<std::size_t>(elements() + 1);
    sumLargest.assign(entries, 0);
    sumLargestSquared.assign(entries, 0);
    sumChi.assign(entries, 0);
    sumChiSquared.assign(entries, 0);
    sumClusters.assign(entries, 0);
    sumClustersSquared.assign(entries, 0);
}

namespace {

bool isEmptyDefault(const Totals& t)
{
    return t.L == 0 && t.events.empty() && t.sumLargest.empty();
}

template <typename T> void addInto(std::vector<T>& to, const std::vector<T>& from)
{
    for (std::size_t n = 0; n < to.size(); ++n)
        to[n] += from[n];
}

} // namespace

std::string Totals::add(const Totals& other)
{
    if (isEmptyDefault(*this)) {
        *this = other;
        return {};
    }
    if (isEmptyDefault(other))
        return {};
    if (other.lattice != lattice || other.model != model)
        return std::string("cannot add ") + latticeName(other.lattice) + " " +
               modelName(other.model) + " totals to " + latticeName(lattice) + " " +
               modelName(model) + " totals";
    if (other.L != L)
        return "cannot add totals of L = " + std::to_string(other.L) +
               " to totals of L = " + std::to_string(L);
    if (other.boundary != boundary)
        return std::string("cannot add ") + boundaryName(other.boundary) + " totals to " +
               boundaryName(boundary) + " totals";
    if (other.seed != seed)
        return "cannot add totals of seed " + std::to_string(other.seed) + " to seed " +
               std::to_string(seed);
    const auto entries = static_cast<std::size_t>(elements() + 1);
    for (const Totals* t : {static_cast<const Totals*>(this), &other})
        if (t->sumLargest.size() != entries || t->sumLargestSquared.size() != entries ||
            t->sumChi.size() != entries || t->sumChiSquared.size() != entries ||
            t->sumClusters.size() != entries || t->sumClustersSquared.size() != entries)
            return "totals of L = " + std::to_string(L) + " have sums of the wrong length";

    const bool adopt = events.empty() && snapshots.empty();
    if (!adopt && !(other.events.empty() && other.snapshots.empty()) &&
        !snapshots.sameLayout(other.snapshots))
        return "cannot add totals with " + describeLayout(other.snapshots) + " to totals with " +
               describeLayout(snapshots);

    std::vector<SampleEvents> merged;
    merged.reserve(events.size() + other.events.size());
    auto a = events.begin();
    auto b = other.events.begin();
    while (a != events.end() && b != other.events.end()) {
        if (a->sample == b->sample)
            return "sample " + std::to_string(a->sample) + " is in both totals";
        merged.push_back(a->sample < b->sample ? *a++ : *b++);
    }
    merged.insert(merged.end(), a, events.end());
    merged.insert(merged.end(), b, other.events.end());

    events = std::move(merged);
    addInto(sumLargest, other.sumLargest);
    addInto(sumLargestSquared, other.sumLargestSquared);
    addInto(sumChi, other.sumChi);
    addInto(sumChiSquared, other.sumChiSquared);
    addInto(sumClusters, other.sumClusters);
    addInto(sumClustersSquared, other.sumClustersSquared);
    if (adopt)
        snapshots = other.snapshots;
    else if (!other.snapshots.empty())
        snapshots.add(other.snapshots);
    return {};
}

} // namespace stats
