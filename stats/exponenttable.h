#pragma once

#include "geometry.h"
#include "scaling.h"
#include "threshold.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// The table of the threshold and the critical exponents, one row per lattice and model, as
// `percolation-stats universality` prints and writes it (Markdown and JSON) and as the
// statistics window shows one row of it. Each cell is an estimate with its jackknife error, the
// known value and the distance between them in units of their combined error, so that a reader
// sees at a glance whether the lattices share their exponents while their thresholds differ.
// Every text of a cell is made here, for the command and the window alike.
namespace stats {

// The exponents of the table, in the order of its columns after pc (names as in scaling.h).
inline constexpr std::array<const char*, 5> TableExponents{"1/nu", "beta/nu", "gamma/nu", "D",
                                                           "tau"};

// "1/ν", "β/ν", "γ/ν", "D", "τ", "pc"; any other name as it is.
std::string exponentSymbol(const std::string& name);

struct TableCell
{
    double estimate = std::numeric_limits<double>::quiet_NaN(); // NaN: no estimate
    double error = std::numeric_limits<double>::quiet_NaN();
    double known = std::numeric_limits<double>::quiet_NaN(); // NaN: not known
    double knownError = 0;                                   // 0 where exact
    std::string source; // the observable or estimator it comes from

    bool present() const;
    // (estimate − known) / √(error² + known error²); NaN when either is missing.
    double sigmas() const;
    // (estimate − known) / known.
    double relative() const;
};

// An estimate's best fit; an empty cell when it is not valid.
TableCell exponentCell(const ExponentEstimate& estimate);
// The preferred estimate's, or an empty cell.
TableCell exponentCell(const ScalingResult& result, const std::string& exponent);
// The combined threshold estimate against the lattice and model's known threshold.
TableCell thresholdCell(const CombinedThreshold& threshold, Lattice lattice, Model model);

// The value to the decimal place of the error's second significant digit, "0.7492 ± 0.0037";
// the value alone to 7 digits when the error is not a positive number.
std::string valueText(double value, double error);
// The known value: to 7 significant digits when exact, otherwise with its error.
std::string knownText(double value, double error);
// "+0.3σ", "-2.1σ".
std::string sigmaText(double sigmas);
// "0.7492 ± 0.0037 (0.75; -0.2σ)", without the parentheses when nothing is known, "—" when
// there is no estimate.
std::string cellText(const TableCell& cell);

struct TableRow
{
    Geometry geometry; // its L is not used
    std::vector<int> sizes;
    std::vector<std::uint64_t> samples; // per size
    TableCell pc;
    std::array<TableCell, TableExponents.size()> exponents;
    std::vector<std::string> notes; // why cells are empty, observables left out
};

TableRow tableRow(const Geometry& geometry, const std::vector<int>& sizes,
                  const std::vector<std::uint64_t>& samples, const CombinedThreshold& threshold,
                  const ScalingResult& scaling);

// A Markdown table of the rows, then what each column comes from and the notes of the rows.
std::string markdownTable(const std::vector<TableRow>& rows);

// {"columns": ["pc", "1/nu", …], "rows": [{"lattice", "model", "boundary", "dimension",
// "sizes", "samples", "cells": {name: {"estimate", "error", "known", "known_error", "sigmas",
// "relative", "from"}}, "notes"}]}; a number not known is null.
nlohmann::ordered_json tableJson(const std::vector<TableRow>& rows);

} // namespace stats
