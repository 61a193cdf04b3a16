#include "nscommand.h"

#include "outputfiles.h"
#include "results.h"
#include "stats/clustersizescsv.h"

#include <cstdio>
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
    const std::string prefix = prefixOf(settings.input);
    const std::string output = prefix + NsSuffix;
    if (std::string reason = checkNewFile(output, settings.force); !reason.empty())
        return failure(reason);
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
