#include "request.h"

#include <algorithm>

namespace cli {

std::string Request::check()
{
    if (sizes.empty())
        return "--sizes needs at least one lattice size";
    std::sort(sizes.begin(), sizes.end());
    if (sizes.front() < 2 || sizes.back() > stats::LargestL)
        return "--sizes: L = " + std::to_string(sizes.front() < 2 ? sizes.front() : sizes.back()) +
               " is not a whole number from 2 to " + std::to_string(stats::LargestL);
    if (const auto twice = std::adjacent_find(sizes.begin(), sizes.end()); twice != sizes.end())
        return "--sizes: L = " + std::to_string(*twice) + " is given twice";
    if (samples == 0)
        return "--samples must be at least 1";
    if (firstSample + samples < firstSample)
        return "--first-sample plus --samples passes the last sample number, 2^64 - 1";
    return grid.check();
}

nlohmann::ordered_json Request::json() const
{
    return {{"sizes", sizes}, {"first_sample", firstSample}, {"samples", samples}};
}

std::string readGrid(const JsonFile& file, PGrid& grid)
{
    PGrid read;
    for (auto [field, value] : {std::pair{"p_grid.min", &read.min},
                                {"p_grid.max", &read.max},
                                {"p_grid.step", &read.step}})
        if (std::string reason = file.number(field, *value); !reason.empty())
            return reason;
    grid = read;
    return {};
}

std::string Request::read(const JsonFile& file)
{
    Request r;
    std::string boundaryName;
    std::vector<std::uint64_t> Ls;
    std::string reason = file.text("boundary", boundaryName);
    if (reason.empty() && boundaryName != "open" && boundaryName != "torus")
        reason = file.wrong("boundary", "open or torus");
    for (const std::string& more :
         {reason.empty() ? file.whole("seed", r.seed) : reason,
          file.wholeList("request.sizes", Ls), file.whole("request.first_sample", r.firstSample),
          file.whole("request.samples", r.samples), readGrid(file, r.grid)})
        if (!more.empty())
            return more;
    r.boundary = boundaryName == "torus" ? stats::Boundary::Torus : stats::Boundary::Open;
    for (std::uint64_t L : Ls)
        r.sizes.push_back(static_cast<int>(std::min<std::uint64_t>(L, 0x7fffffff)));
    if (std::string invalid = r.check(); !invalid.empty())
        return file.where() + ": the recorded request is unusable: " + invalid;
    *this = r;
    return {};
}

} // namespace cli
