#pragma once

#include "stats/totals.h"

#include <cstdint>
#include <string>
#include <vector>

// The processes of an MPI job. Started by mpirun (or srun), the program's ranks take disjoint
// shares of the samples, and rank 0 adds everyone's totals and writes the result; integer sums
// make this exact. Started on its own, or built without MPI, it is the one rank of one.
namespace cli {

class Ranks
{
public:
    Ranks(int& argc, char**& argv);
    ~Ranks();
    Ranks(const Ranks&) = delete;
    Ranks& operator=(const Ranks&) = delete;

    int rank() const { return index; }
    int count() const { return total; }
    bool leader() const { return index == 0; }

    // Rank 0's verdict, for every rank (e.g. whether the outputs can be written).
    std::string shareVerdict(const std::string& leaderVerdict) const;

    // Rank 0 receives the totals of every other rank and adds them to `sizes`; the other ranks
    // send theirs. Returns a one-line reason on failure, or "".
    std::string gatherTotals(std::vector<stats::Totals>& sizes) const;

private:
    int index = 0;
    int total = 1;
    bool initialised = false;
};

// Rank `rank` of `ranks` takes samples [first + count·rank/ranks, first + count·(rank+1)/ranks).
struct SampleShare
{
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};
SampleShare shareOf(std::uint64_t first, std::uint64_t count, int rank, int ranks);

} // namespace cli
