#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Exact, mergeable sums over the samples of one lattice size.
//
// Everything a run learns is kept as integers: per occupation number n = 0 … N the sums over
// samples of S_max, S_max², χ·N = Σs² − S_max², its square, the number of clusters and its
// square; and per sample the first n at which each spanning event happens. Integer sums commute,
// so adding the totals of any split of the same samples (threads, MPI ranks, separate runs)
// gives the same bits, and every number written out is computed from these totals alone, in a
// fixed order.
namespace stats {

__extension__ typedef unsigned __int128 UInt128;

enum class Boundary { Open, Torus };

// The largest lattice whose N + 1 occupation numbers fit the 32-bit first n of SampleEvents.
inline constexpr int LargestL = 46340;

// With open boundaries an event is a crossing between opposite edges; on the torus it is a
// cluster that wraps around. Vertical: top to bottom; Horizontal: left to right.
enum Event : int { Vertical = 0, Horizontal = 1, Either = 2, Both = 3 };
inline constexpr int EventCount = 4;

// The first occupation number at which each event happens in one sample (N + 1 if it never
// does, which cannot happen once every site is occupied, but keeps the type honest).
struct SampleEvents
{
    std::uint64_t sample = 0;
    std::array<std::int32_t, EventCount> firstN{};
};

struct Totals
{
    int L = 0;
    Boundary boundary = Boundary::Open;
    std::uint64_t seed = 0;

    // Indexed by n = 0 … N (N + 1 entries each).
    std::vector<std::uint64_t> sumLargest;
    std::vector<UInt128> sumLargestSquared;
    std::vector<UInt128> sumChi;
    std::vector<UInt128> sumChiSquared;
    std::vector<std::uint64_t> sumClusters;
    std::vector<UInt128> sumClustersSquared;

    // One entry per sample, sorted by sample number; its size is the number of samples.
    std::vector<SampleEvents> events;

    Totals() = default;
    Totals(int L, Boundary boundary, std::uint64_t seed);

    std::int64_t siteCount() const { return std::int64_t{L} * L; }
    std::uint64_t samples() const { return events.size(); }

    // Adds other's samples. Returns an empty string on success; otherwise a one-line reason
    // (another size, boundary or seed, or a sample number present in both) and changes nothing.
    // Default-constructed totals take on the first totals added to them, and add as nothing.
    std::string add(const Totals& other);
};

const char* boundaryName(Boundary boundary); // "open" or "torus"

} // namespace stats
