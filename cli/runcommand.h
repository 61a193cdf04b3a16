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

// What resume starts from, for any command that continues a result: the request recorded in
// PREFIX.json, and every sample of it already done, in PREFIX.totals and the checkpoints of
// ranks (which are then added to PREFIX.totals). Each returns "" or a one-line reason.
std::string readRecordedRequest(const std::string& prefix, Request& request);
std::string gatherSamples(const std::string& prefix, const Request& request,
                          std::vector<stats::Totals>& sizes);
int resumeCommand(const ResumeSettings& settings, const Ranks& ranks);

} // namespace cli
