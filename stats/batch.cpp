#include "batch.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace stats {

Batch::Batch(const Geometry& geometry) : slot(static_cast<std::size_t>(geometry.elements() + 1))
{
    const auto largestValue = static_cast<std::uint64_t>(geometry.sites() + 1);
    const std::uint64_t narrow = std::numeric_limits<std::uint32_t>::max() / largestValue;
    const std::uint64_t wide =
        std::numeric_limits<std::uint64_t>::max() / (largestValue * largestValue);
    // 2^12 squares below 2^52 stay below 2^64.
    capacity = std::max<std::uint64_t>(1, std::min({narrow, wide, std::uint64_t{1} << 12}));
}

void Batch::flushInto(Totals& totals)
{
    if (samples == 0)
        return;
    assert(totals.sumLargest.size() == slot.size());
    for (std::size_t n = 0; n < slot.size(); ++n) {
        const Slot& s = slot[n];
        totals.sumLargest[n] += s.largest;
        totals.sumLargestSquared[n] += s.largestSquared;
        totals.sumChi[n] += s.chi;
        totals.sumChiSquared[n] += s.chiSquared;
        totals.sumClusters[n] += s.clusters;
        totals.sumClustersSquared[n] += s.clustersSquared;
    }
    std::fill(slot.begin(), slot.end(), Slot{});
    samples = 0;
}

} // namespace stats
