#include "exponenttable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace stats {
namespace {

std::string significant(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.7g", value);
    return text;
}

std::string printed(int decimals, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

nlohmann::ordered_json number(double value)
{
    return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json();
}

nlohmann::ordered_json cellJson(const TableCell& cell)
{
    return {{"estimate", number(cell.estimate)},
            {"error", number(cell.error)},
            {"known", number(cell.known)},
            {"known_error", number(cell.knownError)},
            {"sigmas", number(cell.sigmas())},
            {"relative", number(cell.relative())},
            {"from", cell.source}};
}

std::string sizesText(const std::vector<int>& sizes)
{
    std::string text;
    for (const int L : sizes)
        text += (text.empty() ? "" : ", ") + std::to_string(L);
    return text;
}

} // namespace

std::string exponentSymbol(const std::string& name)
{
    static const std::pair<const char*, const char*> symbols[] = {
        {"1/nu", "1/ν"}, {"beta/nu", "β/ν"}, {"gamma/nu", "γ/ν"}, {"tau", "τ"}, {"pc", "pc"}};
    for (const auto& [plain, symbol] : symbols)
        if (name == plain)
            return symbol;
    return name;
}

bool TableCell::present() const
{
    return std::isfinite(estimate);
}

double TableCell::sigmas() const
{
    return (estimate - known) / std::sqrt(error * error + knownError * knownError);
}

double TableCell::relative() const
{
    return (estimate - known) / known;
}

TableCell exponentCell(const ExponentEstimate& e)
{
    TableCell cell;
    cell.known = e.known;
    cell.knownError = std::isfinite(e.knownError) ? e.knownError : 0;
    cell.source = e.observable + (e.correctionUsed ? ", corrected" : "");
    if (e.best().valid) {
        cell.estimate = e.best().exponent;
        cell.error = e.best().error;
    }
    return cell;
}

TableCell exponentCell(const ScalingResult& result, const std::string& exponent)
{
    const ExponentEstimate* e = preferredEstimate(result, exponent);
    return e != nullptr ? exponentCell(*e) : TableCell{};
}

TableCell thresholdCell(const CombinedThreshold& threshold, Lattice lattice, Model model)
{
    TableCell cell;
    cell.known = knownThreshold(lattice, model);
    if (threshold.estimator.empty())
        return cell;
    cell.estimate = threshold.estimate;
    cell.error = threshold.error;
    cell.source = threshold.estimator + " estimator";
    return cell;
}

std::string valueText(double value, double error)
{
    if (!(error > 0 && std::isfinite(error)))
        return significant(value);
    const int decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(error))), 0, 12);
    return printed(decimals, value) + " ± " + printed(decimals, error);
}

std::string knownText(double value, double error)
{
    return error > 0 ? valueText(value, error) : significant(value);
}

std::string sigmaText(double sigmas)
{
    char text[64];
    std::snprintf(text, sizeof text, "%+.1f", sigmas);
    return text + std::string("σ");
}

std::string cellText(const TableCell& cell)
{
    if (!cell.present())
        return "—";
    std::string text = valueText(cell.estimate, cell.error);
    if (std::isfinite(cell.known)) {
        text += " (" + knownText(cell.known, cell.knownError);
        if (const double s = cell.sigmas(); std::isfinite(s))
            text += "; " + sigmaText(s);
        text += ")";
    }
    return text;
}

TableRow tableRow(const Geometry& geometry, const std::vector<int>& sizes,
                  const std::vector<std::uint64_t>& samples, const CombinedThreshold& threshold,
                  const ScalingResult& scaling)
{
    TableRow row{geometry, sizes,
                 samples,  thresholdCell(threshold, geometry.lattice, geometry.model),
                 {},       {}};
    if (threshold.estimator.empty())
        row.notes.push_back("pc: " + threshold.missing);
    if (!scaling.error.empty())
        row.notes.push_back("exponents: " + scaling.error);
    for (const std::string& left : scaling.omitted)
        row.notes.push_back(left);
    for (std::size_t i = 0; i < TableExponents.size(); ++i)
        row.exponents[i] = exponentCell(scaling, TableExponents[i]);
    return row;
}

std::string markdownTable(const std::vector<TableRow>& rows)
{
    std::ostringstream out;
    out << "| lattice | model | boundary | sizes | pc";
    for (const char* name : TableExponents)
        out << " | " << exponentSymbol(name);
    out << " |\n|---|---|---|---|---";
    for (std::size_t i = 0; i < TableExponents.size(); ++i)
        out << "|---";
    out << "|\n";
    for (const TableRow& row : rows) {
        out << "| " << latticeName(row.geometry.lattice) << " | " << modelName(row.geometry.model)
            << " | " << boundaryName(row.geometry.boundary) << " | " << sizesText(row.sizes)
            << " | " << cellText(row.pc);
        for (const TableCell& cell : row.exponents)
            out << " | " << cellText(cell);
        out << " |\n";
    }
    out << "\nEach cell: estimate ± jackknife error (known value; distance in σ).\n";
    // What each column comes from, once for every distinct source.
    for (std::size_t column = 0; column <= TableExponents.size(); ++column) {
        std::vector<std::string> sources;
        for (const TableRow& row : rows) {
            const TableCell& cell = column == 0 ? row.pc : row.exponents[column - 1];
            if (cell.present() &&
                std::find(sources.begin(), sources.end(), cell.source) == sources.end())
                sources.push_back(cell.source);
        }
        if (sources.empty())
            continue;
        out << "- " << exponentSymbol(column == 0 ? "pc" : TableExponents[column - 1]) << " from ";
        for (std::size_t i = 0; i < sources.size(); ++i)
            out << (i == 0 ? "" : "; ") << sources[i];
        out << "\n";
    }
    for (const TableRow& row : rows)
        for (const std::string& note : row.notes)
            out << "- " << latticeName(row.geometry.lattice) << " "
                << modelName(row.geometry.model) << ": " << note << "\n";
    return out.str();
}

nlohmann::ordered_json tableJson(const std::vector<TableRow>& rows)
{
    nlohmann::ordered_json columns = {"pc"};
    for (const char* name : TableExponents)
        columns.push_back(name);
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const TableRow& row : rows) {
        nlohmann::ordered_json cells;
        cells["pc"] = cellJson(row.pc);
        for (std::size_t i = 0; i < TableExponents.size(); ++i)
            cells[TableExponents[i]] = cellJson(row.exponents[i]);
        list.push_back({{"lattice", latticeName(row.geometry.lattice)},
                        {"model", modelName(row.geometry.model)},
                        {"boundary", boundaryName(row.geometry.boundary)},
                        {"dimension", row.geometry.dimensions()},
                        {"sizes", row.sizes},
                        {"samples", row.samples},
                        {"cells", cells},
                        {"notes", row.notes}});
    }
    return {{"columns", columns}, {"rows", list}};
}

} // namespace stats
