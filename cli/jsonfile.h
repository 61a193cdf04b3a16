#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

// A JSON file read defensively: any file may be missing, a folder, huge, not JSON, or hold a
// value of the wrong type anywhere. Every accessor checks the type and returns "" or one line
// naming the file and the field, e.g. `r.json: "p_grid.step" is not a finite number`.
namespace cli {

class JsonFile
{
public:
    // Reads `path`, which must hold a JSON object; returns "" or a one-line reason.
    std::string read(const std::string& path);

    // Fields are named by their path of keys, e.g. "pc.combined.estimate".
    bool has(const std::string& field) const { return find(field) != nullptr; }
    std::string number(const std::string& field, double& value) const; // finite
    std::string whole(const std::string& field, std::uint64_t& value) const;
    std::string text(const std::string& field, std::string& value) const;
    std::string flag(const std::string& field, bool& value) const;
    std::string wholeList(const std::string& field, std::vector<std::uint64_t>& values) const;
    std::string numberList(const std::string& field, std::vector<double>& values) const; // finite

    // The line for a field that holds no `expected`, and the file's name.
    std::string wrong(const std::string& field, const char* expected) const;
    const std::string& where() const { return path; }

private:
    const nlohmann::json* find(const std::string& field) const;

    std::string path;
    nlohmann::json root;
};

} // namespace cli
