#include "pgrid.h"

#include <algorithm>
#include <cmath>

namespace cli {

std::vector<double> PGrid::values() const
{
    // Index times step, not repeated addition, so every run gets the same bits.
    const auto count = static_cast<long>(std::floor((max - min) / step + 1e-9)) + 1;
    std::vector<double> ps;
    ps.reserve(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i)
        ps.push_back(std::min(max, min + double(i) * step));
    return ps;
}

std::string PGrid::check() const
{
    if (!(min >= 0 && min <= 1) || !(max >= 0 && max <= 1))
        return "--p-min and --p-max must lie in [0, 1]";
    if (min > max)
        return "--p-min must not exceed --p-max";
    if (!(step > 0))
        return "--p-step must be positive";
    if ((max - min) / step > 1e6)
        return "--p-step is too small: more than a million values of p";
    return {};
}

} // namespace cli
