#include "nscommand.h"

#include "outputfiles.h"
#include "results.h"
#include "stats/clustersizescsv.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace cli {
namespace {

int failure(const std::string& reason)
{
    std::fprintf(stderr, "percolation-stats: ns: %s\n", reason.c_str());
    return 1;
}

} // namespace

int nsCommand(const NsSettings& settings)
{
    std::string prefix = settings.input;
    for (const std::string& suffix : resultSuffixes)
        if (prefix.size() > suffix.size() && prefix.ends_with(suffix))
            prefix.resize(prefix.size() - suffix.size());
    const std::string output = prefix + "-ns.csv";
    std::error_code ignored;
    if (std::filesystem::is_directory(output, ignored))
        return failure(output + " is a folder");
    if (!settings.force &&
        std::filesystem::exists(std::filesystem::symlink_status(output, ignored)))
        return failure(output + " exists (replace it with --force)");
    std::vector<stats::Totals> sizes;
    if (std::string reason = readTotalsFile(prefix + ".totals", sizes); !reason.empty())
        return failure(reason);
    std::ostringstream table;
    if (std::string reason = stats::writeClusterSizesCsv(table, sizes); !reason.empty())
        return failure(prefix + ".totals: " + reason);
    const std::string text = table.str();
    if (std::string reason = writeAll({{output, [&text](std::ostream& out) { out << text; }}});
        !reason.empty())
        return failure(reason);
    return 0;
}

} // namespace cli
