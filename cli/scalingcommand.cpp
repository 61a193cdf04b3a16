#include "scalingcommand.h"

#include "numbers.h"
#include "outputfiles.h"
#include "results.h"
#include "stats/scalinginput.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

Json fitJson(const stats::PowerLawFit& f)
{
    if (!f.valid)
        return nullptr;
    return {{"exponent", f.exponent},      {"error", f.error},
            {"fit_error", f.fitError},     {"amplitude", f.amplitude},
            {"correction", f.correction},  {"correction_error", f.correctionError},
            {"chi_squared", f.chiSquared}, {"dof", f.dof},
            {"quality", f.quality}};
}

int failure(const std::string& reason)
{
    std::fprintf(stderr, "percolation-stats: scaling: %s\n", reason.c_str());
    return 1;
}

std::string fixed(double value, int digits)
{
    if (!std::isfinite(value))
        return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

} // namespace

Json scalingJson(const stats::ScalingResult& result)
{
    Json estimates = Json::array();
    for (const stats::ExponentEstimate& e : result.estimates) {
        Json points = Json::array();
        for (const stats::ScalingPoint& p : e.points)
            points.push_back({{"L", p.L}, {"x", p.x}, {"value", p.value}, {"error", p.error}});
        const stats::PowerLawFit& best = e.best();
        estimates.push_back({{"exponent", e.exponent},
                             {"observable", e.observable},
                             {"preferred", e.preferred},
                             {"estimate", best.exponent},
                             {"error", best.error},
                             {"known", e.known},
                             {"known_error", e.knownError},
                             {"sigmas", e.sigmas()},
                             {"correction_needed", e.correctionNeeded},
                             {"correction_used", e.correctionUsed},
                             {"plain", fitJson(e.plain)},
                             {"corrected", fitJson(e.corrected)},
                             {"points", points}});
    }
    return {{"estimates", estimates},
            {"hyperscaling",
             {{"tau_minus_1_plus_d_over_D", result.hyperscaling},
              {"error", result.hyperscalingError}}},
            {"omitted", result.omitted}};
}

std::string scalingTable(const stats::ScalingResult& result)
{
    std::ostringstream out;
    char line[256];
    std::snprintf(line, sizeof line, "  %-9s %-48s %-20s %-8s %-9s %6s\n", "exponent",
                  "observable", "estimate", "chi2/dof", "known", "sigma");
    out << line;
    for (const stats::ExponentEstimate& e : result.estimates) {
        const stats::PowerLawFit& f = e.best();
        const std::string value =
            fixed(f.exponent, 4) + " ± " + fixed(f.error, 4) + (e.correctionUsed ? " c" : "");
        const std::string quality =
            f.dof > 0 ? fixed(f.chiSquared, 1) + "/" + std::to_string(f.dof) : "-";
        std::snprintf(line, sizeof line, "%c %-9s %-48s %-20s %-8s %-9s %6s\n",
                      e.preferred ? '*' : ' ', e.exponent.c_str(), e.observable.c_str(),
                      value.c_str(), quality.c_str(), fixed(e.known, 5).c_str(),
                      fixed(e.sigmas(), 1).c_str());
        out << line;
    }
    out << "  * preferred; c: with the correction L^-omega (s^-Omega for tau)\n";
    if (std::isfinite(result.hyperscaling))
        out << "  tau - (1 + d/D) = " << fixed(result.hyperscaling, 4) << " ± "
            << fixed(result.hyperscalingError, 4) << "\n";
    for (const std::string& omitted : result.omitted)
        out << "  left out: " << omitted << "\n";
    return out.str();
}

int scalingCommand(const ScalingSettings& settings, const ScalingPicture& picture)
{
    const std::string prefix = prefixOf(settings.input);
    if (!(std::isnan(settings.omega) || (settings.omega > 0 && std::isfinite(settings.omega))))
        return failure("--omega must be a positive number");
    const std::string output = prefix + ScalingSuffix;
    if (std::string reason = checkNewFile(output, settings.force); !reason.empty())
        return failure(reason);
    if (!settings.plot.empty())
        if (std::string reason = checkNewFile(settings.plot, settings.force); !reason.empty())
            return failure(reason);

    std::vector<stats::Totals> sizes;
    if (std::string reason = readTotalsFile(prefix + ".totals", sizes); !reason.empty())
        return failure(reason);
    std::string error;
    stats::ScalingInput input = stats::scalingInput(sizes, error);
    if (!error.empty())
        return failure(prefix + ".totals: " + error);
    input.omega = settings.omega;
    const stats::ScalingResult result = stats::analyseScaling(input);
    if (!result.error.empty())
        return failure(prefix + ".totals: " + result.error);

    const double omega = std::isnan(settings.omega)
                             ? stats::knownExponent(input.dimension, "omega").value
                             : settings.omega;
    if (!settings.plot.empty() && picture)
        if (std::string reason = picture(result, omega, settings.plot); !reason.empty())
            return failure(reason);

    const stats::Geometry g = sizes.front().geometry();
    Json json = {{"lattice", stats::latticeName(g.lattice)},
                 {"model", stats::modelName(g.model)},
                 {"boundary", stats::boundaryName(g.boundary)},
                 {"dimension", input.dimension},
                 {"spanning", input.spanning},
                 {"omega", omega}};
    Json sizeList = Json::array();
    for (const stats::Totals& t : sizes)
        sizeList.push_back({{"L", t.L}, {"samples", t.samples()}});
    json["sizes"] = sizeList;
    json.update(scalingJson(result));
    if (std::string reason = writeAll({jsonFile(output, json)}); !reason.empty())
        return failure(reason);
    std::printf("%s %s %s, L = ", stats::latticeName(g.lattice), stats::modelName(g.model),
                stats::boundaryName(g.boundary));
    for (std::size_t i = 0; i < sizes.size(); ++i)
        std::printf("%s%d", i > 0 ? ", " : "", sizes[i].L);
    std::printf(" (%s)\n%s", output.c_str(), scalingTable(result).c_str());
    return 0;
}

std::vector<std::string> scalingPlotArguments(const ScalingSettings& settings)
{
    return {"percolation-stats-plot",
            "scaling",
            settings.input,
            settings.plot,
            std::isnan(settings.omega) ? "known" : decimalText(settings.omega),
            settings.force ? "1" : "0"};
}

std::string readScalingPlotArguments(int argc, char** argv, ScalingSettings& settings)
{
    if (argc != 6 || std::string(argv[1]) != "scaling")
        return "percolation-stats-plot is started by percolation-stats";
    ScalingSettings read;
    read.input = argv[2];
    read.plot = argv[3];
    std::uint64_t force = 0;
    if (std::string(argv[4]) != "known")
        if (std::string reason = readDecimal("--omega", argv[4], {0, 100, true}, read.omega);
            !reason.empty())
            return reason;
    if (std::string reason = readWhole("force", argv[5], {0, 1}, force); !reason.empty())
        return reason;
    read.force = force == 1;
    settings = read;
    return {};
}

} // namespace cli
