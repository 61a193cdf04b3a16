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

std::string Ranks::shareVerdict(const std::string& leaderVerdict) const
{
#ifdef PERCOLATION_HAVE_MPI
    if (initialised && total > 1) {
        std::string verdict = leaderVerdict;
        unsigned long long size = verdict.size();
        MPI_Bcast(&size, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
        verdict.resize(size);
        MPI_Bcast(verdict.data(), static_cast<int>(size), MPI_CHAR, 0, MPI_COMM_WORLD);
        return verdict;
    }
#endif
    return leaderVerdict;
}

std::string Ranks::gatherTotals([[maybe_unused]] std::vector<stats::Totals>& sizes) const
{
#ifdef PERCOLATION_HAVE_MPI
    if (!initialised || total == 1)
        return {};
    if (!leader()) {
        std::ostringstream out(std::ios::binary);
        stats::writeTotals(out, sizes);
        sendBytes(out.str());
        return {};
    }
    std::string failure;
    for (int source = 1; source < total; ++source) {
        std::istringstream in(receiveBytes(source), std::ios::binary);
        std::vector<stats::Totals> theirs;
        std::string error;
        if (!stats::readTotals(in, theirs, error) || theirs.size() != sizes.size()) {
            failure = "rank " + std::to_string(source) + " sent unreadable totals: " + error;
            continue;
        }
        for (std::size_t i = 0; i < sizes.size() && failure.empty(); ++i)
            failure = sizes[i].add(theirs[i]);
    }
    return failure;
#else
    return {};
#endif
}

SampleShare shareOf(std::uint64_t first, std::uint64_t count, int rank, int ranks)
{
    const auto boundary = [&](int r) {
        return static_cast<std::uint64_t>(stats::UInt128{count} * static_cast<unsigned>(r) /
                                          static_cast<unsigned>(ranks));
    };
    return {first + boundary(rank), boundary(rank + 1) - boundary(rank)};
}

} // namespace cli
