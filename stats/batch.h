#pragma once

#include "hugearray.h"
#include "totals.h"

#include <cstdint>

// The per-n sums of a batch of samples, kept in narrow words and added exactly into the wide
// sums of the totals when the batch is full or flushed: a sweep then reads and writes 40 bytes
// per occupation number instead of 80, in one stream instead of six, without 128-bit carries.
//
// Invariants: a batch holds at most `capacity` samples, chosen so that no narrow sum can
// overflow (S_max and the cluster count of N sites are below N + 1, their squares and χ·N below
// (N + 1)²);
// (χ·N)² goes into the narrow sum only below 2^52, at most 2^12 times per batch, and straight
// into the totals otherwise. So every flushed sum is exact, and totals do not depend on where
// the batches were cut.
namespace stats {

class Batch
{
public:
    struct Slot
    {
        std::uint32_t largest;
        std::uint32_t clusters;
        std::uint64_t largestSquared;
        std::uint64_t clustersSquared;
        std::uint64_t chi;
        std::uint64_t chiSquared;
    };
    // χ·N below this goes into the narrow sum of its square.
    static constexpr std::uint64_t NarrowChiBelow = std::uint64_t{1} << 26;

    explicit Batch(const Geometry& geometry);

    // Room for one more sample.
    bool full() const { return samples == capacity; }
    void started() { ++samples; }
    Slot* slots() { return slot.data(); }

    // Adds the batch to the totals (of this size) and empties it.
    void flushInto(Totals& totals);

private:
    HugeArray<Slot> slot; // indexed by n = 0 … E
    std::uint64_t samples = 0;
    std::uint64_t capacity = 1;
};

} // namespace stats
