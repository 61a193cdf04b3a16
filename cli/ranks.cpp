#include "ranks.h"

#include "stats/totalsfile.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#ifdef PERCOLATION_HAVE_MPI
#include <mpi.h>
#endif

namespace cli {
namespace {

#ifdef PERCOLATION_HAVE_MPI
// Initialising MPI outside a job makes OpenMPI start a runtime of its own, slowly and noisily.
bool startedByMpi()
{
    for (const char* variable : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
        if (std::getenv(variable) != nullptr)
            return true;
    return false;
}

// MPI counts are ints: large accumulator files travel in pieces.
constexpr std::size_t ChunkBytes = std::size_t{1} << 30;

// A size of 0 says that the rank has no totals to send.
void sendBytes(const std::string& bytes)
{
    unsigned long long size = bytes.size();
    MPI_Send(&size, 1, MPI_UNSIGNED_LONG_LONG, 0, 0, MPI_COMM_WORLD);
    for (std::size_t offset = 0; offset < bytes.size(); offset += ChunkBytes) {
        const int piece = static_cast<int>(std::min(ChunkBytes, bytes.size() - offset));
        MPI_Send(bytes.data() + offset, piece, MPI_BYTE, 0, 1, MPI_COMM_WORLD);
    }
}

std::string receiveBytes(int source)
{
    unsigned long long size = 0;
    MPI_Recv(&size, 1, MPI_UNSIGNED_LONG_LONG, source, 0, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    std::string bytes(size, '\0');
    for (std::size_t offset = 0; offset < bytes.size(); offset += ChunkBytes) {
        const int piece = static_cast<int>(std::min(ChunkBytes, bytes.size() - offset));
        MPI_Recv(bytes.data() + offset, piece, MPI_BYTE, source, 1, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
    }
    return bytes;
}
#endif

} // namespace

Ranks::Ranks([[maybe_unused]] int& argc, [[maybe_unused]] char**& argv)
{
#ifdef PERCOLATION_HAVE_MPI
    if (!startedByMpi())
        return;
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    initialised = true;
    MPI_Comm_rank(MPI_COMM_WORLD, &index);
    MPI_Comm_size(MPI_COMM_WORLD, &total);
#endif
}

Ranks::~Ranks()
{
#ifdef PERCOLATION_HAVE_MPI
    if (initialised)
        MPI_Finalize();
#endif
}

std::string Ranks::fromLeader(const std::string& leaderText) const
{
#ifdef PERCOLATION_HAVE_MPI
    if (initialised && total > 1) {
        std::string verdict = leaderText;
        unsigned long long size = verdict.size();
        MPI_Bcast(&size, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
        verdict.resize(size);
        MPI_Bcast(verdict.data(), static_cast<int>(size), MPI_CHAR, 0, MPI_COMM_WORLD);
        return verdict;
    }
#endif
    return leaderText;
}

std::string Ranks::gatherTotals([[maybe_unused]] std::vector<stats::Totals>& sizes,
                                [[maybe_unused]] bool failed) const
{
#ifdef PERCOLATION_HAVE_MPI
    if (!initialised || total == 1)
        return {};
    if (!leader()) {
        std::ostringstream out(std::ios::binary);
        if (!failed)
            stats::writeTotals(out, sizes);
        sendBytes(out.str());
        return {};
    }
    // Every rank is heard, and every one that fails is named: none is dropped silently.
    std::string failures;
    for (int source = 1; source < total; ++source) {
        std::istringstream in(receiveBytes(source), std::ios::binary);
        std::vector<stats::Totals> theirs;
        std::string error = in.str().empty() ? "it failed" : "";
        if (error.empty() && !stats::readTotals(in, theirs, error))
            error = "its totals are unreadable: " + error;
        else if (error.empty() && theirs.size() != sizes.size())
            error = "its totals have other sizes";
        for (std::size_t i = 0; error.empty() && i < sizes.size(); ++i)
            if (theirs[i].geometry() != sizes[i].geometry() || theirs[i].seed != sizes[i].seed)
                error = "its totals are of another run";
        // Shares are disjoint by construction; a refusal here would leave earlier sizes added.
        for (std::size_t i = 0; error.empty() && i < sizes.size(); ++i)
            error = sizes[i].add(theirs[i]);
        if (!error.empty())
            failures +=
                (failures.empty() ? "" : "; ") + ("rank " + std::to_string(source)) + ": " + error;
    }
    return failures;
#else
    return {};
#endif
}

} // namespace cli
