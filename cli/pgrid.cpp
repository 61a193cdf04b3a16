#include "pgrid.h"

#include "numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace cli {
namespace {

__extension__ typedef __int128 Int128;

// x = digits · 10^(−places), read from x's shortest decimal text; false beyond 30 places.
struct Decimal
{
    Int128 digits = 0;
    int places = 0;
};

bool toDecimal(double x, Decimal& d)
{
    const std::string text = decimalText(x);
    const std::size_t e = text.find('e');
    const std::string mantissa = text.substr(0, e);
    int exponent = e == std::string::npos ? 0 : std::stoi(text.substr(e + 1));
    const std::size_t point = mantissa.find('.');
    if (point != std::string::npos)
        exponent -= static_cast<int>(mantissa.size() - point - 1);
    d = {};
    for (char c : mantissa)
        if (c >= '0' && c <= '9')
            d.digits = d.digits * 10 + (c - '0');
    for (; exponent > 0; --exponent)
        d.digits *= 10;
    d.places = -exponent;
    return d.places <= 30;
}

Int128 scaled(const Decimal& d, int places)
{
    Int128 value = d.digits;
    for (int i = d.places; i < places; ++i)
        value *= 10;
    return value;
}

double fromDecimal(Int128 digits, int places)
{
    std::string text;
    for (; digits > 0; digits /= 10)
        text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(digits % 10)));
    text = (text.empty() ? "0" : text) + "e-" + std::to_string(places);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

std::vector<double> PGrid::values() const
{
    std::vector<double> ps;
    Decimal a, b, s;
    if (toDecimal(min, a) && toDecimal(max, b) && toDecimal(step, s) && s.digits > 0) {
        const int places = std::max({a.places, b.places, s.places});
        const Int128 first = scaled(a, places), last = scaled(b, places), by = scaled(s, places);
        for (Int128 v = first; v <= last; v += by)
            ps.push_back(fromDecimal(v, places));
        return ps;
    }
    // Only values no decimal text gives get here; index times step, for the same bits.
    const auto count = static_cast<long>(std::floor((max - min) / step + 1e-9)) + 1;
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
    if (!(step > 0) || !std::isfinite(step))
        return "--p-step must be a positive decimal number";
    if ((max - min) / step > MaxGridSteps)
        return "--p-step is too small: more than a million steps from --p-min to --p-max";
    return {};
}

} // namespace cli
