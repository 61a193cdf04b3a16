#include "numbers.h"

#include <charconv>
#include <cmath>

namespace cli {
namespace {

std::string wholeRange(WholeRange range)
{
    return "a whole number from " + std::to_string(range.min) + " to " + std::to_string(range.max);
}

std::string decimalRange(DecimalRange range, const char* kind = "a decimal number ")
{
    return kind + std::string(range.aboveMin ? "above " : "from ") + decimalText(range.min) +
           (range.aboveMin ? " up to " : " to ") + decimalText(range.max);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits with no leading zero (a lone 0 is fine); returns the position after them.
std::size_t digitsAt(const std::string& text, std::size_t at, bool& leadingZero)
{
    const std::size_t start = at;
    while (at < text.size() && isDigit(text[at]))
        ++at;
    leadingZero = at - start > 1 && text[start] == '0';
    return at;
}

// [-] digits [. digits] [e|E [+|-] digits], or [-] . digits [exponent]. Leaves out what
// from_chars would also take: inf, nan, hexadecimal.
bool isDecimal(const std::string& text, bool& leadingZero)
{
    std::size_t at = text.starts_with('-') ? 1 : 0;
    const std::size_t whole = at;
    at = digitsAt(text, at, leadingZero);
    bool digits = at > whole;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fraction = ++at;
        bool ignored = false;
        at = digitsAt(text, at, ignored);
        digits = digits || at > fraction;
    }
    if (!digits)
        return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        const std::size_t exponent = at;
        while (at < text.size() && isDigit(text[at]))
            ++at;
        if (at == exponent)
            return false;
    }
    return at == text.size();
}

template <typename T, typename Range, typename Read>
std::string readList(const std::string& option, const std::string& text, Range range,
                     std::vector<T>& values, Read read, const std::string& kind)
{
    std::vector<T> list;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma - start);
        if (item.empty())
            return option + ": " + quoted(text) + " has an empty item; give " + kind +
                   ", separated by commas";
        T value{};
        if (std::string reason = read(option, item, range, value); !reason.empty())
            return reason;
        list.push_back(value);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    values = std::move(list);
    return {};
}

} // namespace

std::string quoted(const std::string& text)
{
    if (text.size() <= 24)
        return '"' + text + '"';
    // Never within a character: a UTF-8 continuation byte is 10xxxxxx.
    std::size_t cut = 21;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
        --cut;
    return '"' + text.substr(0, cut) + "...\"";
}

std::string readWhole(const std::string& option, const std::string& text, WholeRange range,
                      std::uint64_t& value)
{
    const std::string expected = option + ": " + quoted(text) + " is not " + wholeRange(range);
    bool leadingZero = false;
    if (text.empty() || digitsAt(text, 0, leadingZero) != text.size())
        return expected;
    if (leadingZero)
        return expected + " (no leading zeros)";
    std::uint64_t read = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
    if (error != std::errc() || read < range.min || read > range.max)
        return expected;
    value = read;
    return {};
}

std::string readDecimal(const std::string& option, const std::string& text, DecimalRange range,
                        double& value)
{
    const std::string expected = option + ": " + quoted(text) + " is not " + decimalRange(range);
    bool leadingZero = false;
    if (!isDecimal(text, leadingZero))
        return expected;
    if (leadingZero)
        return expected + " (no leading zeros)";
    double read = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
    read += 0.0; // −0 is 0
    if (error != std::errc() || !std::isfinite(read) || read < range.min || read > range.max ||
        (range.aboveMin && read == range.min))
        return expected;
    value = read;
    return {};
}

std::string readWholeList(const std::string& option, const std::string& text, WholeRange range,
                          std::vector<std::uint64_t>& values)
{
    return readList(option, text, range, values, readWhole,
                    "whole numbers from " + std::to_string(range.min) + " to " +
                        std::to_string(range.max));
}

std::string readDecimalList(const std::string& option, const std::string& text, DecimalRange range,
                            std::vector<double>& values)
{
    return readList(option, text, range, values, readDecimal,
                    decimalRange(range, "decimal numbers "));
}

std::string decimalText(double value)
{
    // Whole numbers in full (100000, not 1e+05), as a user types them.
    if (std::abs(value) < 1e15 && value == std::floor(value))
        return std::to_string(static_cast<long long>(value));
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

} // namespace cli
