#pragma once

#include <string>
#include <vector>

// The files of a result, PREFIX.csv, PREFIX.json and PREFIX.totals, written all or nothing: each
// goes to a temporary name in its own folder and is renamed into place once all are written.
namespace cli {

inline const std::vector<std::string> resultSuffixes = {".csv", ".json", ".totals"};

// Whether the result files can be written under `prefix`. Checked before any work starts, so
// that a long run never fails at its end. Returns a one-line reason, or "".
std::string checkOutputPrefix(const std::string& prefix, bool force);

struct OutputFile
{
    std::string path;
    std::string contents;
};

// Writes every file or none. Returns a one-line reason on failure, or "".
std::string writeAll(const std::vector<OutputFile>& files);

} // namespace cli
