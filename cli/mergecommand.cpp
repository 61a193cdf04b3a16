#include "mergecommand.h"

#include "jsonfile.h"
#include "outputfiles.h"
#include "results.h"
#include "stats/totalsfile.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace cli {
namespace {

namespace fs = std::filesystem;

std::string sizeList(const std::vector<stats::Totals>& sizes)
{
    std::string list;
    for (const stats::Totals& totals : sizes) {
        if (!list.empty())
            list += ',';
        list += std::to_string(totals.L);
    }
    return list;
}

std::string readInput(const std::string& path, std::vector<stats::Totals>& sizes)
{
    if (std::string reason = readTotalsFile(path, sizes); !reason.empty())
        return reason;
    if (sizes.empty())
        return path + ": holds no lattice size";
    return {};
}

// Why `theirs` cannot be added to `ours`, or "".
std::string mismatch(const std::string& ourPath, const std::vector<stats::Totals>& ours,
                     const std::string& theirPath, const std::vector<stats::Totals>& theirs)
{
    const auto kind = [](const stats::Totals& t) {
        return std::string(stats::latticeName(t.lattice)) + " " + stats::modelName(t.model) +
               " percolation";
    };
    if (kind(ours.front()) != kind(theirs.front()))
        return theirPath + " is of " + kind(theirs.front()) + " but " + ourPath + " is of " +
               kind(ours.front()) + ": runs of other lattices or models cannot be merged";
    if (sizeList(ours) != sizeList(theirs))
        return theirPath + " has sizes " + sizeList(theirs) + " but " + ourPath + " has " +
               sizeList(ours);
    if (ours.front().boundary != theirs.front().boundary)
        return theirPath + " is " + stats::boundaryName(theirs.front().boundary) + " but " +
               ourPath + " is " + stats::boundaryName(ours.front().boundary);
    if (ours.front().seed != theirs.front().seed)
        return theirPath + " has seed " + std::to_string(theirs.front().seed) + " but " + ourPath +
               " has seed " + std::to_string(ours.front().seed);
    return {};
}

// The grid recorded next to an input, if any: merging should not change the curves' p values.
std::optional<PGrid> recordedGrid(const std::string& prefix, std::string& error)
{
    std::error_code ignored;
    if (!fs::exists(fs::symlink_status(prefix + ".json", ignored)))
        return std::nullopt;
    JsonFile json;
    PGrid grid;
    error = json.read(prefix + ".json");
    if (error.empty())
        error = readGrid(json, grid);
    if (error.empty())
        error = grid.check().empty() ? "" : prefix + ".json: \"p_grid\" is unusable";
    if (!error.empty())
        return std::nullopt;
    return grid;
}

int failure(const std::string& reason)
{
    std::fprintf(stderr, "percolation-stats: merge: %s\n", reason.c_str());
    return 1;
}

} // namespace

int mergeCommand(const MergeSettings& settings)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::string reason = checkOutputPrefix(settings.output, settings.force); !reason.empty())
        return failure(reason);
    if (const std::string reason = settings.grid ? settings.grid->check() : ""; !reason.empty())
        return failure(reason);

    std::vector<stats::Totals> merged;
    std::string firstPath;
    std::optional<PGrid> grid = settings.grid;
    for (const std::string& input : settings.inputs) {
        const std::string prefix = prefixOf(input);
        const std::string path = prefix + ".totals";
        std::error_code ignored;
        if (fs::equivalent(path, settings.output + ".totals", ignored))
            return failure(path + " is also the output");
        std::vector<stats::Totals> sizes;
        if (std::string reason = readInput(path, sizes); !reason.empty())
            return failure(reason);
        if (merged.empty()) {
            merged = std::move(sizes);
            firstPath = path;
        } else {
            if (std::string reason = mismatch(firstPath, merged, path, sizes); !reason.empty())
                return failure(reason);
            for (std::size_t i = 0; i < merged.size(); ++i)
                if (std::string reason = merged[i].add(sizes[i]); !reason.empty())
                    return failure(path + ": " + reason);
        }
        if (settings.grid)
            continue;
        std::string error;
        const std::optional<PGrid> recorded = recordedGrid(prefix, error);
        if (!error.empty())
            return failure(error);
        if (recorded && grid &&
            (recorded->min != grid->min || recorded->max != grid->max ||
             recorded->step != grid->step))
            return failure(prefix + ".json has another p grid than the files before it "
                                    "(choose one with --p-min, --p-max and --p-step)");
        if (recorded)
            grid = recorded;
    }
    const PGrid used = grid.value_or(PGrid{});
    if (std::string reason = used.check(); !reason.empty())
        return failure(reason);

    PrefixLock lock;
    if (std::string reason = lock.take(settings.output); !reason.empty())
        return failure(reason);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const nlohmann::ordered_json timing = {
        {"command", "merge"}, {"seconds", seconds}, {"inputs", settings.inputs.size()}};
    if (std::string reason = writeResults(settings.output, merged, used, nullptr, timing);
        !reason.empty())
        return failure(reason);
    return 0;
}

} // namespace cli
