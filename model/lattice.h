#pragma once

#include <array>
#include <cstdint>

// Site percolation on an L × L square lattice with open boundaries.
//
// Sites are numbered 1 … L² row by row from the top-left corner: site s lies in column
// (s − 1) mod L and row (s − 1) div L. Lattice arrays are 1-based arrays of SiteCapacity ints
// owned by the caller; index 0 is never touched and entries beyond what a realisation writes keep
// their old values.
namespace model {

inline constexpr int MaxLinearSize = 600;
inline constexpr int SiteCapacity = MaxLinearSize * MaxLinearSize + 1;

// The occupied sites as bits, sixteen to a word: site s is bit (s − 1) mod 16 of word
// (s − 1) div 16. The realisation makes these words on its way, and passes that read the lattice
// a row at a time read 45 KB of them instead of 1.4 MB of site[].
struct SiteBits
{
    // Every site, and four words more, so that 64 bits can be read from any site.
    static constexpr int WordCount = (SiteCapacity - 1 + 15) / 16 + 4;
    std::array<std::uint16_t, WordCount> words{};

    // Bit k is site first + 1 + k, for first in 0 … L² − 1; bits past the last site are
    // undefined.
    std::uint64_t from(int first) const
    {
        const std::uint16_t* w = words.data() + first / 16;
        const int shift = first % 16;
        const std::uint64_t low = std::uint64_t{w[0]} | std::uint64_t{w[1]} << 16 |
                                  std::uint64_t{w[2]} << 32 | std::uint64_t{w[3]} << 48;
        // Two shifts, so that a shift of 0 moves w[4] out entirely.
        return low >> shift | (std::uint64_t{w[4]} << 1) << (63 - shift);
    }
};

// Occupies each site independently with probability p, drawing exactly L² deviates from
// uniformRandom() in increasing site order: site s is occupied when its deviate is < p.
// Writes site[1 … L²] (1 occupied, 0 empty) and occupied[1 … count] (the occupied sites in
// increasing order) and returns count. Requires 1 ≤ L ≤ 600.
int occupySites(double p, int* site, int* occupied, int L);

// The same, and the occupied sites as bits too: bits.words up to site L² (and the rest of its
// word) are written.
int occupySites(double p, int* site, int* occupied, int L, SiteBits& bits);

// site[1 … L²] as bits, of each site its lowest bit only: the bits occupySites() writes, for a
// lattice made otherwise. Requires 1 ≤ L ≤ 600.
void packSites(const int* site, int L, SiteBits& bits);

namespace detail {

// The realisation's SIMD kernels, exposed so that tests can prove each one exact. occupySites()
// uses the best one that the processor supports.
enum class Kernel { Portable, Avx2, Avx512 };

bool kernelAvailable(Kernel kernel);
Kernel bestKernel();
int occupySitesWith(Kernel kernel, double p, int* site, int* occupied, int L,
                    SiteBits* bits = nullptr);
void packSitesWith(Kernel kernel, const int* site, int L, SiteBits& bits);

} // namespace detail

} // namespace model
