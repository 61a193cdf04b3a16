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

    // Rank 0's text (e.g. its verdict on the settings), for every rank.
    std::string fromLeader(const std::string& leaderText) const;

    // Rank 0 receives the totals of every other rank and adds them to `sizes`; the other ranks
    // send theirs, or, with `failed`, word that they have none. On rank 0 returns one line
    // naming each rank whose samples could not be added, or "".
    std::string gatherTotals(std::vector<stats::Totals>& sizes, bool failed = false) const;

private:
    int index = 0;
    int total = 1;
    bool initialised = false;
};

} // namespace cli
