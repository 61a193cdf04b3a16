#pragma once

#include "outputfiles.h"
#include "ranks.h"
#include "request.h"
#include "stats/totals.h"

#include <string>
#include <vector>

// The samples of a request that are not done yet, run by `run` and `resume` alike: the ranks
// share them, each rank's threads share its part, the totals are saved every few minutes, a
// signal stops the run within a sample, and rank 0 writes the result. Whatever the
// interruptions, the result of the whole request has the same bytes.
namespace cli {

struct Execution
{
    int threads = 0;               // per rank; 0: OMP_NUM_THREADS, or every core
    double checkpointMinutes = 10; // 0: no checkpoints
};

struct Job
{
    std::string command; // "run", "resume" or "universality"
    Request request;
    std::string prefix;
    Execution execution;
    // The command that runs the rest when the job stops short; "" for resume of the prefix.
    std::string finisher;
};

// The thread count used throughout: the one asked for, or the runtime's offer capped at
// stats::MaxThreads (saying so on stderr).
int resolveThreads(int requested, const Ranks& ranks);

// On rank 0, `done` holds the samples already there, one totals per size of the request, and
// `verdict` says why the job cannot go on ("" if it can); rank 0 holds `lock`. Other ranks learn
// the job from rank 0. Returns the exit status: 0 once the request is complete, 1 on failure,
// 128 + the signal when interrupted; the partial result is written in every case it can be.
int runJob(Job job, std::vector<stats::Totals> done, std::string verdict, const Ranks& ranks);

// The check before any file is touched: prefix, memory. Returns "" or a one-line reason.
std::string checkJob(const Job& job, int ranks, bool force);

// Empty totals of every size, the files of an earlier result under the prefix removed, so that
// no old sample is ever taken for this job's. On rank 0, holding the prefix's lock.
std::vector<stats::Totals> startAnew(const Job& job);

// The end of the line that says a result is incomplete.
std::string howToFinish(const Job& job);

} // namespace cli
