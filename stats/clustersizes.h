#pragma once

#include <cstdint>
#include <vector>

// Logarithmic bins of cluster size s for the cluster-size distribution n_s (clusters of s sites
// per site). Sizes 1 … 15 have a bin each; from 16 on every octave [2ᵏ, 2ᵏ⁺¹) has four bins of
// equal width 2ᵏ⁻². The edges are integers fixed once for all lattices and sizes, so counts per
// bin are exact integers that merge by addition, and every s ≥ 1 lies in exactly one bin.
//
// A power law with its leading correction, n_s = A·s^(−τ)·(1 + B·s^(−Ω)), is compared with a
// bin's mean over the integers it holds (summed exactly up to 32 of them; beyond, the midpoint
// integral, whose relative error there is below τ(τ + 1)/(24·256²) < 1e-5), so the bins' widths
// and their discreteness at small s bias no fit (D. Stauffer and A. Aharony, Introduction to
// Percolation Theory, 1994, for n_s ∝ s^(−τ) at pc; R. M. Ziff, PRE 83, 020107 (2011), for Ω).
namespace stats {

int sizeBin(std::int64_t s);            // s ≥ 1
std::int64_t binFirst(int bin);         // the smallest s of the bin
std::int64_t binLast(int bin);          // the largest
int binsUpTo(std::int64_t largestSize); // bins needed for s = 1 … largestSize

// The mean over s = binFirst … binLast of s^(−τ)·(1 + B·s^(−Ω)).
double binMeanPowerLaw(int bin, double tau, double B, double Omega);

// n_s averaged over each bin: counts / (samples · sites · width).
std::vector<double> binnedDensity(const std::vector<double>& counts, double samples, double sites);

} // namespace stats
