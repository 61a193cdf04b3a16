#pragma once

#include "job.h"
#include "ranks.h"
#include "request.h"

#include <string>

// `percolation-stats run`: samples every size, then writes curves, estimates and totals.
// `percolation-stats resume`: finishes what an interrupted run under the same prefix left.
namespace cli {

struct RunSettings
{
    Request request;
    Execution execution;
    std::string output;
    bool force = false;
};

struct ResumeSettings
{
    std::string prefix;
    Execution execution;
};

int runCommand(RunSettings settings, const Ranks& ranks);
int resumeCommand(const ResumeSettings& settings, const Ranks& ranks);

} // namespace cli
