#include "plotcommand.h"

#include "charts/chartfile.h"
#include "charts/curvechart.h"
#include "charts/scalingchart.h"
#include "jsonfile.h"
#include "numbers.h"
#include "stats/canonical.h"
#include "stats/threshold.h"
#include "stats/totals.h"

#include <QApplication>
#include <QLineSeries>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>

namespace cli {
namespace {

// Dark red: apart from the grey of the known pc and from the sizes' colours.
const QColor EstimateColour(178, 24, 43);

// The columns a plot needs, by size; points closer in p than a fraction of the axis add
// nothing a screen can show, so a table of any length keeps a few thousand of them.
struct Table
{
    std::string boundary = "open";
    stats::Lattice lattice = stats::Lattice::Square; // tables without the column are older
    stats::Model model = stats::Model::Site;
    int dimensions = 2;
    // p, the spanning probability (mean over the directions), p_inf and chi.
    std::map<int, std::vector<std::array<double, 4>>> bySize;
};

// The spanning probability of each direction, then the columns the other charts show.
std::vector<std::string> neededColumns(int dimensions)
{
    std::vector<std::string> names = {"p"};
    for (int e = 0; e < dimensions; ++e)
        names.push_back(stats::observableName(stats::eventSlot(dimensions, e), dimensions));
    for (const stats::Observable o : {stats::Strength, stats::MeanClusterSize})
        names.push_back(stats::observableName(o, dimensions));
    return names;
}

std::vector<std::string> split(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

bool number(const std::string& field, double& value)
{
    if (field.empty()) {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size();
}

std::string readTable(const std::string& path, const PlotSettings& settings, Table& table)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return "cannot read " + path +
               (std::filesystem::exists(path, error) ? ": not a regular file" : ": no such file");
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return path + ": empty";
    const std::vector<std::string> columns = split(line);
    auto column = [&](const std::string& name) {
        return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), name) -
                                        columns.begin());
    };
    table.dimensions = column("span_x") < columns.size() ? 3 : 2;
    const std::vector<std::string> needed = neededColumns(table.dimensions);
    std::vector<std::size_t> at;
    for (const std::string& name : needed)
        if (at.push_back(column(name)); at.back() == columns.size())
            return path + ": no column " + name;
    const std::size_t L = column("L"), boundary = column("boundary");
    const std::size_t lattice = column("lattice"), model = column("model");
    if (L == columns.size())
        return path + ": no column L";
    const double closest = (settings.pMax - settings.pMin) / 4000;
    long number_ = 2;
    for (; std::getline(in, line); ++number_) {
        const std::string where = path + ":" + std::to_string(number_);
        const std::vector<std::string> fields = split(line);
        if (fields.size() != columns.size())
            return where + ": wrong number of columns";
        if (boundary < columns.size())
            table.boundary = fields[boundary];
        if (lattice < columns.size() && !stats::parseLattice(fields[lattice], table.lattice))
            return where + ": not a lattice: " + fields[lattice].substr(0, 24);
        if (model < columns.size() && !stats::parseModel(fields[model], table.model))
            return where + ": not a model: " + fields[model].substr(0, 24);
        double size = 0;
        std::array<double, 6> values{}; // p, up to three directions, p_inf and chi
        const std::size_t count = at.size();
        for (std::size_t i = 0; i < count; ++i)
            if (!number(fields[at[i]], values[i]))
                return where + ": not a number: " + fields[at[i]].substr(0, 24);
        std::array<double, 4> row{values[0], 0, values[count - 2], values[count - 1]};
        for (int e = 0; e < table.dimensions; ++e)
            row[1] += values[1 + std::size_t(e)] / table.dimensions;
        if (!number(fields[L], size) || !(size >= 2 && size <= stats::LargestL))
            return where + ": not a lattice size: " + fields[L].substr(0, 24);
        auto& points = table.bySize[static_cast<int>(size)];
        if (row[0] >= settings.pMin && row[0] <= settings.pMax &&
            (points.empty() || row[0] - points.back()[0] >= closest))
            points.push_back(row);
    }
    // Empty charts would pass for a picture of the result.
    if (number_ == 2)
        return path + ": no rows to plot";
    if (std::all_of(table.bySize.begin(), table.bySize.end(),
                    [](const auto& size) { return size.second.empty(); }))
        return path + ": no row with p from " + decimalText(settings.pMin) + " to " +
               decimalText(settings.pMax);
    return {};
}

struct Panel
{
    std::vector<std::size_t> columns; // of Table's rows, averaged
    charts::CurveChartLabels labels;
    std::optional<charts::AxisRange> range;
};

Panel panelFor(const std::string& observable, const std::string& boundary, int dimensions)
{
    const std::string directions =
        dimensions == 3 ? " (mean of the three directions)" : " (mean of both directions)";
    if (observable == "spanning")
        return {{1},
                {QString::fromStdString(
                     (boundary == "torus" ? "Wrapping probability" : "Crossing probability") +
                     directions),
                 "occupation probability p", "probability"},
                charts::AxisRange{0, 1}};
    if (observable == "p-inf")
        return {{2},
                {"Strength of the largest cluster P∞", "occupation probability p",
                 "fraction of sites in the largest cluster"},
                charts::AxisRange{0, 1}};
    return {
        {3},
        {"Mean cluster size χ (largest cluster excluded)", "occupation probability p", "sites"},
        std::nullopt};
}

std::vector<charts::SizeCurve> curvesOf(const Table& table, const Panel& panel)
{
    std::vector<charts::SizeCurve> curves;
    for (const auto& [L, rows] : table.bySize) {
        charts::SizeCurve& curve = curves.emplace_back();
        curve.L = L;
        for (const auto& row : rows) {
            double value = 0;
            for (std::size_t column : panel.columns)
                value += row[column];
            curve.points.append({row[0], value / double(panel.columns.size())});
        }
    }
    return curves;
}

// The estimate of pc from the result's JSON, if it has one, with its error and estimator.
std::string estimateMarker(const std::string& path, std::string& boundary,
                           std::optional<charts::VerticalMarker>& marker)
{
    std::error_code ignored;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ignored)))
        return {};
    JsonFile json;
    if (std::string reason = json.read(path); !reason.empty())
        return reason;
    if (json.has("boundary"))
        if (std::string reason = json.text("boundary", boundary); !reason.empty())
            return reason;
    if (!json.has("pc.combined"))
        return {};
    double estimate = 0, error = 0;
    std::string estimator;
    for (const std::string& reason : {json.number("pc.combined.estimate", estimate),
                                      json.text("pc.combined.estimator", estimator)})
        if (!reason.empty())
            return reason;
    QString label = QStringLiteral("%1 %2").arg(QString::fromStdString(estimator)).arg(estimate);
    if (json.number("pc.combined.error", error).empty() && error > 0) {
        const int decimals = std::clamp(1 - int(std::floor(std::log10(error))), 4, 12);
        label = QStringLiteral("%1 %2 ± %3")
                    .arg(QString::fromStdString(estimator))
                    .arg(estimate, 0, 'f', decimals)
                    .arg(error, 0, 'f', decimals);
    }
    marker = charts::VerticalMarker{estimate, label};
    return {};
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
    for (const char* suffix : {".csv", ".json", ".totals"})
        if (prefix.size() > std::strlen(suffix) && prefix.ends_with(suffix))
            prefix.resize(prefix.size() - std::strlen(suffix));
    if (!(settings.pMin < settings.pMax))
        return failure("--p-min must be below --p-max");
    const QString output = QString::fromStdString(settings.output);
    if (const QString reason = charts::checkPictureName(output); !reason.isEmpty())
        return failure(reason.toStdString());
    std::error_code ignored;
    if (std::filesystem::is_directory(settings.output, ignored))
        return failure("cannot write " + settings.output + ": it is a folder");
    if (!settings.force && std::filesystem::exists(settings.output, ignored))
        return failure(settings.output + " exists (use --force to replace it)");

    Table table;
    if (std::string reason = readTable(prefix + ".csv", settings, table); !reason.empty())
        return failure(reason);
    std::string boundary = table.boundary;
    std::optional<charts::VerticalMarker> estimate;
    if (std::string reason = estimateMarker(prefix + ".json", boundary, estimate); !reason.empty())
        return failure(reason);
    const double known = stats::knownThreshold(table.lattice, table.model);
    std::vector<charts::VerticalMarker> markers = {
        {known, QStringLiteral("pc %1").arg(known, 0, 'f', 6)}};
    if (estimate)
        markers.push_back(*estimate);

    // A machine without a display still plots.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::vector<std::unique_ptr<QChart>> made;
    std::vector<QChart*> row;
    for (const std::string& observable : settings.observables) {
        const Panel panel = panelFor(observable, boundary, table.dimensions);
        made.push_back(
            charts::curveChart(curvesOf(table, panel), markers, panel.labels, panel.range));
        // The estimate in a colour of its own, so that its legend entry is told from pc's.
        for (QAbstractSeries* series : made.back()->series())
            if (auto* line = qobject_cast<QLineSeries*>(series);
                line && estimate && line->name() == estimate->label)
                line->setPen(QPen(EstimateColour, 2, Qt::DotLine));
        row.push_back(made.back().get());
    }
    const QString error = charts::writeCharts(row, QSize(settings.width, settings.height), output);
    if (!error.isEmpty())
        return failure(error.toStdString());
    return 0;
}

ScalingPicture scalingPicture(int& argc, char** argv)
{
    return [&argc, argv](const stats::ScalingResult& result, double omega,
                         const std::string& path) -> std::string {
        const QString output = QString::fromStdString(path);
        if (const QString reason = charts::checkPictureName(output); !reason.isEmpty())
            return reason.toStdString();
        std::error_code ignored;
        if (std::filesystem::is_directory(path, ignored))
            return "cannot write " + path + ": it is a folder";
        if (qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication application(argc, argv);
        const stats::ExponentEstimate* fractal = stats::preferredEstimate(result, "D");
        std::vector<std::unique_ptr<QChart>> made;
        std::vector<QChart*> row;
        for (const char* name : {"1/nu", "gamma/nu", "beta/nu", "D", "tau"}) {
            const stats::ExponentEstimate* e = stats::preferredEstimate(result, name);
            if (e == nullptr)
                continue;
            const double power = std::string(name) != "tau" ? omega
                                 : fractal != nullptr       ? omega / fractal->best().exponent
                                                            : std::nan("");
            made.push_back(charts::scalingChart(*e, power));
            row.push_back(made.back().get());
        }
        return charts::writeCharts(row, QSize(420, 360), output).toStdString();
    };
}

} // namespace cli
