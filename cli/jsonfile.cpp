#include "jsonfile.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace cli {
namespace {

// A result's JSON is a few kilobytes; sample ranges of many holes stay far below this.
constexpr std::uintmax_t MaxBytes = std::uintmax_t{64} << 20;

} // namespace

std::string JsonFile::read(const std::string& file)
{
    path = file;
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (!fs::exists(status))
        return "cannot read " + file + ": no such file";
    if (!fs::is_regular_file(status))
        return "cannot read " + file + ": not a regular file";
    if (fs::file_size(file, error) > MaxBytes)
        return file + ": too large for a result's JSON";
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return "cannot read " + file;
    root = nlohmann::json::parse(in, nullptr, false);
    if (root.is_discarded())
        return file + ": not valid JSON";
    if (!root.is_object())
        return file + ": not a JSON object";
    return {};
}

const nlohmann::json* JsonFile::find(const std::string& field) const
{
    const nlohmann::json* at = &root;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = field.find('.', start);
        if (!at->is_object())
            return nullptr;
        const auto it = at->find(field.substr(start, dot - start));
        if (it == at->end())
            return nullptr;
        at = &*it;
        if (dot == std::string::npos)
            return at;
        start = dot + 1;
    }
}

std::string JsonFile::wrong(const std::string& field, const char* expected) const
{
    return path + ": \"" + field + "\" " + (has(field) ? "is not " : "is missing; expected ") +
           expected;
}

std::string JsonFile::number(const std::string& field, double& value) const
{
    const nlohmann::json* v = find(field);
    if (v == nullptr || !v->is_number() || !std::isfinite(v->get<double>()))
        return wrong(field, "a finite number");
    value = v->get<double>();
    return {};
}

std::string JsonFile::whole(const std::string& field, std::uint64_t& value) const
{
    const nlohmann::json* v = find(field);
    if (v == nullptr || !v->is_number_unsigned())
        return wrong(field, "a whole number");
    value = v->get<std::uint64_t>();
    return {};
}

std::string JsonFile::text(const std::string& field, std::string& value) const
{
    const nlohmann::json* v = find(field);
    if (v == nullptr || !v->is_string())
        return wrong(field, "a string");
    value = v->get<std::string>();
    return {};
}

std::string JsonFile::flag(const std::string& field, bool& value) const
{
    const nlohmann::json* v = find(field);
    if (v == nullptr || !v->is_boolean())
        return wrong(field, "true or false");
    value = v->get<bool>();
    return {};
}

std::string JsonFile::wholeList(const std::string& field, std::vector<std::uint64_t>& values) const
{
    const nlohmann::json* v = find(field);
    if (v == nullptr || !v->is_array())
        return wrong(field, "a list of whole numbers");
    std::vector<std::uint64_t> list;
    for (const nlohmann::json& item : *v) {
        if (!item.is_number_unsigned())
            return wrong(field, "a list of whole numbers");
        list.push_back(item.get<std::uint64_t>());
    }
    values = std::move(list);
    return {};
}

std::string JsonFile::numberList(const std::string& field, std::vector<double>& values) const
{
    const nlohmann::json* v = find(field);
    if (v == nullptr || !v->is_array())
        return wrong(field, "a list of finite numbers");
    std::vector<double> list;
    for (const nlohmann::json& item : *v) {
        if (!item.is_number() || !std::isfinite(item.get<double>()))
            return wrong(field, "a list of finite numbers");
        list.push_back(item.get<double>());
    }
    values = std::move(list);
    return {};
}

} // namespace cli
