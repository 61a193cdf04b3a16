#include "request.h"

#include "numbers.h"
#include "stats/snapshots.h"
#include "stats/threshold.h"

#include <algorithm>

namespace cli {

std::string Request::check()
{
    if (sizes.empty())
        return "--sizes needs at least one lattice size";
    std::sort(sizes.begin(), sizes.end());
    const int largest = stats::largestL(lattice, model);
    if (sizes.front() < 2 || sizes.back() > largest)
        return "--sizes: L = " + std::to_string(sizes.front() < 2 ? sizes.front() : sizes.back()) +
               " is not a whole number from 2 to " + std::to_string(largest) + " for the " +
               stats::latticeName(lattice) + " lattice's " + stats::modelName(model) + "s";
    if (const auto twice = std::adjacent_find(sizes.begin(), sizes.end()); twice != sizes.end())
        return "--sizes: L = " + std::to_string(*twice) + " is given twice";
    for (const int L : sizes)
        if (std::string reason = geometry(L).check(); !reason.empty())
            return "--sizes: " + reason;
    if (samples == 0)
        return "--samples must be at least 1";
    if (samplesAt < 0 || samplesAt > stats::LargestL)
        return "--samples: the size after @ is not a whole number from 2 to " +
               std::to_string(stats::LargestL);
    if (samplesAt > 0 &&
        stats::UInt128{samples} * unsigned(samplesAt) / unsigned(sizes.front()) >= UINT64_MAX)
        return "--samples: " + std::to_string(samples) + "@" + std::to_string(samplesAt) +
               " asks for more than 2^64 - 1 samples of L = " + std::to_string(sizes.front());
    if (firstSample + mostSamples() < firstSample)
        return "--first-sample plus --samples passes the last sample number, 2^64 - 1";
    if (std::string reason = checkSnapshotList(snapshotAt); !reason.empty())
        return reason;
    return grid.check();
}

std::uint64_t Request::samplesFor(int L) const
{
    if (samplesAt <= 0 || L <= 0)
        return samples;
    const stats::UInt128 scaled =
        (stats::UInt128{samples} * unsigned(samplesAt) + unsigned(L) - 1) / unsigned(L);
    return static_cast<std::uint64_t>(std::min<stats::UInt128>(scaled, UINT64_MAX));
}

std::uint64_t Request::mostSamples() const
{
    return sizes.empty() ? samples : samplesFor(sizes.front());
}

std::string readSampleCount(const std::string& text, std::uint64_t& samples, int& samplesAt)
{
    const std::size_t at = text.find('@');
    std::uint64_t count = 0, L = 0;
    if (std::string reason = readWhole("--samples", text.substr(0, at), {1, UINT64_MAX}, count);
        !reason.empty())
        return reason + " (or N@L: N samples at size L, fewer in proportion at larger sizes)";
    if (at != std::string::npos)
        if (std::string reason = readWhole("--samples", text.substr(at + 1),
                                           {2, std::uint64_t(stats::LargestL)}, L);
            !reason.empty())
            return reason + " after @";
    samples = count;
    samplesAt = int(L);
    return {};
}

stats::Totals Request::totals(int L) const
{
    stats::Totals t(geometry(L), seed);
    if (!snapshotAt.empty())
        t.snapshots = stats::snapshotLayout(geometry(L), snapshotAt);
    return t;
}

std::string checkSnapshotList(const std::vector<double>& values)
{
    if (values.size() > stats::MaxSnapshotPoints)
        return "--ns-at takes at most " + std::to_string(stats::MaxSnapshotPoints) +
               " values of p";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!(values[i] > 0 && values[i] < 1))
            return "--ns-at: p = " + decimalText(values[i]) + " is not between 0 and 1";
        if (i > 0 && !(values[i] > values[i - 1]))
            return "--ns-at: p = " + decimalText(values[i]) + " is given twice or out of order";
    }
    return {};
}

std::string readSnapshotList(const std::string& text, stats::Lattice lattice, stats::Model model,
                             std::vector<double>& values)
{
    if (text == "none") {
        values.clear();
        return {};
    }
    std::vector<double> read;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma - start);
        double p = 0;
        if (item == "pc")
            p = stats::knownThreshold(lattice, model);
        else if (std::string reason = readDecimal("--ns-at", item, {0, 1, true}, p);
                 !reason.empty() || p >= 1)
            return "--ns-at: " + quoted(item) +
                   " is neither pc nor a number between 0 and 1 (or give none)";
        read.push_back(p);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    std::sort(read.begin(), read.end());
    if (const auto twice = std::adjacent_find(read.begin(), read.end()); twice != read.end())
        return "--ns-at: p = " + decimalText(*twice) + " is given twice";
    if (std::string reason = checkSnapshotList(read); !reason.empty())
        return reason;
    values = std::move(read);
    return {};
}

std::vector<stats::Geometry> Request::geometries() const
{
    std::vector<stats::Geometry> all;
    for (const int L : sizes)
        all.push_back(geometry(L));
    return all;
}

nlohmann::ordered_json Request::json() const
{
    nlohmann::ordered_json json = {{"sizes", sizes},
                                   {"first_sample", firstSample},
                                   {"samples", samples},
                                   {"ns_at", snapshotAt}};
    if (samplesAt > 0)
        json["samples_at"] = samplesAt;
    return json;
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

std::vector<std::string> latticeChoices()
{
    std::vector<std::string> names;
    for (const stats::Lattice lattice : stats::Lattices)
        names.push_back(stats::latticeName(lattice));
    return names;
}

std::vector<std::string> modelChoices()
{
    std::vector<std::string> names;
    for (const stats::Model model : stats::Models)
        names.push_back(stats::modelName(model));
    return names;
}

std::string listOf(const std::vector<std::string>& words)
{
    std::string list;
    for (const std::string& word : words)
        list += (list.empty() ? "" : ", ") + word;
    return list;
}

std::string readLatticeAndModel(const JsonFile& file, stats::Lattice& lattice, stats::Model& model)
{
    std::string name;
    if (file.has("lattice")) {
        if (std::string reason = file.text("lattice", name); !reason.empty())
            return reason;
        if (!stats::parseLattice(name, lattice))
            return file.wrong("lattice", ("one of " + listOf(latticeChoices())).c_str());
    }
    if (file.has("model")) {
        if (std::string reason = file.text("model", name); !reason.empty())
            return reason;
        if (!stats::parseModel(name, model))
            return file.wrong("model", ("one of " + listOf(modelChoices())).c_str());
    }
    return {};
}

std::string Request::read(const JsonFile& file)
{
    Request r;
    std::string boundaryName;
    std::vector<std::uint64_t> Ls;
    std::uint64_t at = 0;
    std::string reason = file.text("boundary", boundaryName);
    if (reason.empty() && boundaryName != "open" && boundaryName != "torus")
        reason = file.wrong("boundary", "open or torus");
    if (reason.empty())
        reason = readLatticeAndModel(file, r.lattice, r.model);
    for (const std::string& more :
         {reason.empty() ? file.whole("seed", r.seed) : reason,
          file.wholeList("request.sizes", Ls), file.whole("request.first_sample", r.firstSample),
          file.whole("request.samples", r.samples), readGrid(file, r.grid),
          file.has("request.ns_at") ? file.numberList("request.ns_at", r.snapshotAt) : "",
          file.has("request.samples_at") ? file.whole("request.samples_at", at) : ""})
        if (!more.empty())
            return more;
    r.samplesAt = static_cast<int>(std::min<std::uint64_t>(at, 0x7fffffff));
    r.boundary = boundaryName == "torus" ? stats::Boundary::Torus : stats::Boundary::Open;
    for (std::uint64_t L : Ls)
        r.sizes.push_back(static_cast<int>(std::min<std::uint64_t>(L, 0x7fffffff)));
    if (std::string invalid = r.check(); !invalid.empty())
        return file.where() + ": the recorded request is unusable: " + invalid;
    *this = r;
    return {};
}

} // namespace cli
