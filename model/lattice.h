#pragma once

// Site percolation on an L × L square lattice with open boundaries.
//
// Sites are numbered 1 … L² row by row from the top-left corner: site s lies in column
// (s − 1) mod L and row (s − 1) div L. Lattice arrays are 1-based arrays of SiteCapacity ints
// owned by the caller; index 0 is never touched and entries beyond what a realisation writes keep
// their old values.
namespace model {

inline constexpr int MaxLinearSize = 600;
inline constexpr int SiteCapacity = MaxLinearSize * MaxLinearSize + 1;

// Occupies each site independently with probability p, drawing exactly L² deviates from
// uniformRandom() in increasing site order: site s is occupied when its deviate is < p.
// Writes site[1 … L²] (1 occupied, 0 empty) and occupied[1 … count] (the occupied sites in
// increasing order) and returns count. Requires 1 ≤ L ≤ 600.
int occupySites(double p, int* site, int* occupied, int L);

namespace detail {

// The realisation's SIMD kernels, exposed so that tests can prove each one exact. occupySites()
// uses the best one that the processor supports.
enum class Kernel { Portable, Avx2, Avx512 };

bool kernelAvailable(Kernel kernel);
Kernel bestKernel();
int occupySitesWith(Kernel kernel, double p, int* site, int* occupied, int L);

} // namespace detail

} // namespace model
