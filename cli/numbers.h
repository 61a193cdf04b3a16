#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Strict reading of the numbers given to options: plain decimal text only. No sign on whole
// numbers, no leading zero (016 is neither 14 nor silently 16), no hexadecimal, no clamping of
// what overflows, no empty list item, and for decimals nothing infinite or not a number. Each
// function returns "" or one short line naming the option and the range it accepts, and leaves
// `value` alone on failure.
namespace cli {

struct WholeRange
{
    std::uint64_t min = 0;
    std::uint64_t max = UINT64_MAX;
};

struct DecimalRange
{
    double min = 0;
    double max = 1;
    bool aboveMin = false; // min itself excluded
};

std::string readWhole(const std::string& option, const std::string& text, WholeRange range,
                      std::uint64_t& value);
std::string readDecimal(const std::string& option, const std::string& text, DecimalRange range,
                        double& value);

// Comma-separated lists, e.g. 64,128.
std::string readWholeList(const std::string& option, const std::string& text, WholeRange range,
                          std::vector<std::uint64_t>& values);
std::string readDecimalList(const std::string& option, const std::string& text, DecimalRange range,
                            std::vector<double>& values);

// The text as the user typed it, in quotes, cut short (between characters) so that a line
// stays short.
std::string quoted(const std::string& text);

// The shortest decimal text that reads back as the same double, e.g. 0.593.
std::string decimalText(double value);

} // namespace cli
