#include "plotcommand.h"

#include "charts/chartfile.h"
#include "charts/curvechart.h"
#include "stats/canonical.h"

#include <QApplication>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace cli {
namespace {

// The threshold of site percolation on the square lattice (Newman & Ziff 2000; Jacobsen 2015).
constexpr double KnownThreshold = 0.5927460;

struct Table
{
    std::vector<std::string> columns;
    std::vector<std::vector<double>> rows;

    int column(const std::string& name) const
    {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i] == name)
                return int(i);
        return -1;
    }
};

std::vector<std::string> split(const std::string& line)
{
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, ','))
        fields.push_back(field);
    return fields;
}

std::string readTable(const std::string& path, Table& table)
{
    std::ifstream in(path);
    if (!in)
        return "cannot read " + path;
    std::string line;
    if (!std::getline(in, line))
        return path + ": empty";
    table.columns = split(line);
    int number = 1;
    while (std::getline(in, line)) {
        ++number;
        const std::vector<std::string> fields = split(line);
        if (fields.size() != table.columns.size())
            return path + ":" + std::to_string(number) + ": wrong number of columns";
        std::vector<double>& row = table.rows.emplace_back();
        for (const std::string& field : fields) {
            char* end = nullptr;
            row.push_back(std::strtod(field.c_str(), &end));
            if (end == field.c_str() || *end != '\0')
                return path + ":" + std::to_string(number) + ": not a number: " + field;
        }
    }
    for (const char* name : {"p", "L", "span_vertical", "span_horizontal", "p_inf", "chi"})
        if (table.column(name) < 0)
            return path + ": no column " + name;
    return {};
}

struct Panel
{
    std::vector<std::string> columns; // averaged
    charts::CurveChartLabels labels;
    std::optional<charts::AxisRange> range;
};

Panel panelFor(const std::string& observable, const std::string& boundary)
{
    const bool torus = boundary == "torus";
    if (observable == "spanning")
        return {{stats::observableName(stats::SpanVertical),
                 stats::observableName(stats::SpanHorizontal)},
                {torus ? "Wrapping probability (mean of both directions)"
                       : "Crossing probability (mean of both directions)",
                 "occupation probability p", "probability"},
                charts::AxisRange{0, 1}};
    if (observable == "p-inf")
        return {{stats::observableName(stats::Strength)},
                {"Strength of the largest cluster P∞", "occupation probability p",
                 "fraction of sites in the largest cluster"},
                charts::AxisRange{0, 1}};
    return {
        {stats::observableName(stats::MeanClusterSize)},
        {"Mean cluster size χ (largest cluster excluded)", "occupation probability p", "sites"},
        std::nullopt};
}

std::vector<charts::SizeCurve> curvesOf(const Table& table, const Panel& panel,
                                        const PlotSettings& settings)
{
    const auto p = std::size_t(table.column("p"));
    const auto L = std::size_t(table.column("L"));
    std::map<int, charts::SizeCurve> bySize;
    for (const std::vector<double>& row : table.rows) {
        if (row[p] < settings.pMin || row[p] > settings.pMax)
            continue;
        double value = 0;
        for (const std::string& name : panel.columns)
            value += row[std::size_t(table.column(name))];
        const int size = int(row[L]);
        bySize[size].L = size;
        bySize[size].points.append({row[p], value / double(panel.columns.size())});
    }
    std::vector<charts::SizeCurve> curves;
    for (auto& [size, curve] : bySize)
        curves.push_back(std::move(curve));
    return curves;
}

int failure(const std::string& reason)
{
    std::fprintf(stderr, "percolation-stats: plot: %s\n", reason.c_str());
    return 1;
}

} // namespace

int plotCommand(const PlotSettings& settings, int argc, char** argv)
{
    std::string prefix = settings.input;
    if (prefix.ends_with(".csv"))
        prefix.resize(prefix.size() - 4);
    if (!(settings.pMin >= 0 && settings.pMin < settings.pMax && settings.pMax <= 1))
        return failure("--p-min and --p-max must satisfy 0 ≤ p-min < p-max ≤ 1");
    if (settings.width < 100 || settings.height < 100 || settings.width > 10000 ||
        settings.height > 10000)
        return failure("--width and --height must lie between 100 and 10000");
    if (!settings.force && std::filesystem::exists(settings.output))
        return failure(settings.output + " exists (use --force to replace it)");

    Table table;
    if (std::string reason = readTable(prefix + ".csv", table); !reason.empty())
        return failure(reason);
    std::string boundary = "open";
    std::vector<charts::VerticalMarker> markers = {
        {KnownThreshold, QStringLiteral("pc = %1").arg(KnownThreshold, 0, 'f', 6)}};
    if (std::ifstream in(prefix + ".json"); in) {
        const auto json = nlohmann::json::parse(in, nullptr, false);
        if (json.is_discarded())
            return failure(prefix + ".json: not valid JSON");
        boundary = json.value("boundary", boundary);
        if (json.contains("pc") && json["pc"].contains("combined")) {
            const auto& combined = json["pc"]["combined"];
            const double estimate = combined.value("estimate", 0.0);
            markers.push_back({estimate, QStringLiteral("estimate %1").arg(estimate, 0, 'f', 6)});
        }
    }

    // A machine without a display still plots.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::vector<std::unique_ptr<QChart>> made;
    std::vector<QChart*> row;
    for (const std::string& observable : settings.observables) {
        const Panel panel = panelFor(observable, boundary);
        made.push_back(charts::curveChart(curvesOf(table, panel, settings), markers, panel.labels,
                                          panel.range));
        row.push_back(made.back().get());
    }
    const QString error = charts::writeCharts(row, QSize(settings.width, settings.height),
                                              QString::fromStdString(settings.output));
    if (!error.isEmpty())
        return failure(error.toStdString());
    return 0;
}

} // namespace cli
