#pragma once

#include <cstdio>
#include <string>

namespace cli {

// One line on stderr, in the program's name: every refusal, warning and report of the commands.
inline void say(const std::string& line)
{
    std::fprintf(stderr, "percolation-stats: %s\n", line.c_str());
}

} // namespace cli
