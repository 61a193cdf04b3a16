#pragma once

#include <string>

// PERCOLATION_VERSION comes from the project's version in CMake, its one home.
namespace cli {

// What --version prints, without the newline: the program's name and the version.
inline std::string versionLine(const std::string& program)
{
    return program + " " + PERCOLATION_VERSION;
}

} // namespace cli
