#include "clustersizes.h"

#include <bit>
#include <cmath>

namespace stats {

namespace {

constexpr int SingleBins = 15; // s = 1 … 15
constexpr int BinsPerOctave = 4;
constexpr int FirstOctave = 4; // 2⁴ = 16
// Bins holding more integers than this are summed as an integral.
constexpr std::int64_t ExactTerms = 32;

// Σ_{s=a}^{b} s^(−x).
double powerSum(std::int64_t a, std::int64_t b, double x)
{
    if (b - a < ExactTerms) {
        double sum = 0;
        for (std::int64_t s = b; s >= a; --s) // the small terms first
            sum += std::pow(static_cast<double>(s), -x);
        return sum;
    }
    const double lo = static_cast<double>(a) - 0.5, hi = static_cast<double>(b) + 0.5;
    if (x == 1)
        return std::log(hi / lo);
    return (std::pow(lo, 1 - x) - std::pow(hi, 1 - x)) / (x - 1);
}

} // namespace

int sizeBin(std::int64_t s)
{
    if (s <= SingleBins)
        return static_cast<int>(s) - 1;
    const int k = static_cast<int>(std::bit_width(static_cast<std::uint64_t>(s))) - 1;
    const auto j = static_cast<int>((s >> (k - 2)) & 3);
    return SingleBins + BinsPerOctave * (k - FirstOctave) + j;
}

std::int64_t binFirst(int bin)
{
    if (bin < SingleBins)
        return bin + 1;
    const int k = FirstOctave + (bin - SingleBins) / BinsPerOctave;
    const int j = (bin - SingleBins) % BinsPerOctave;
    return (std::int64_t{1} << k) + j * (std::int64_t{1} << (k - 2));
}

std::int64_t binLast(int bin)
{
    return binFirst(bin + 1) - 1;
}

int binsUpTo(std::int64_t largestSize)
{
    return largestSize < 1 ? 0 : sizeBin(largestSize) + 1;
}

double binMeanPowerLaw(int bin, double tau, double B, double Omega)
{
    const std::int64_t a = binFirst(bin), b = binLast(bin);
    const double main = powerSum(a, b, tau);
    const double correction = B == 0 ? 0 : B * powerSum(a, b, tau + Omega);
    return (main + correction) / static_cast<double>(b - a + 1);
}

std::vector<double> binnedDensity(const std::vector<double>& counts, double samples, double sites)
{
    std::vector<double> density(counts.size());
    for (std::size_t b = 0; b < counts.size(); ++b) {
        const auto width =
            static_cast<double>(binLast(static_cast<int>(b)) - binFirst(static_cast<int>(b)) + 1);
        density[b] = counts[b] / (samples * sites * width);
    }
    return density;
}

} // namespace stats
