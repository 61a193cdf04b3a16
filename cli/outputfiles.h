#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

// The files of a result, PREFIX.csv, PREFIX.json and PREFIX.totals, and what a run keeps beside
// them while it goes: PREFIX.lock, held by the one live process writing under PREFIX; the
// checkpoints of MPI ranks other than 0, PREFIX.rankK.totals; and temporaries, each file's name
// with ".tmp" appended. Only the holder of the lock writes temporaries, so their names are
// fixed: they never collide, and the next holder removes any that a killed run left.
namespace cli {

inline const std::vector<std::string> resultSuffixes = {".csv", ".json", ".totals"};

// A result named by its prefix or by one of its files: "r", "r.csv", "r.json" or "r.totals" all
// name the prefix "r".
std::string prefixOf(const std::string& named);

// Whether a file derived from a result (its scaling table, its n_s, a picture) may be written at
// `path`: "" or a one-line reason (a folder there, or a file without --force).
std::string checkNewFile(const std::string& path, bool force);

std::string temporaryOf(const std::string& path);
std::string rankCheckpointOf(const std::string& prefix, int rank);

// Whether the result files (those of `suffixes`), and for `ranks` processes everything beside
// them, can be written under `prefix`. Checked before any work starts, and again by writeAll().
// Returns a one-line reason, or "".
std::string checkOutputPrefix(const std::string& prefix, bool force, int ranks = 1,
                              const std::vector<std::string>& suffixes = resultSuffixes);

// The lock on a prefix, released when destroyed.
class PrefixLock
{
public:
    PrefixLock() = default;
    ~PrefixLock();
    PrefixLock(const PrefixLock&) = delete;
    PrefixLock& operator=(const PrefixLock&) = delete;

    // Takes the lock and removes stale temporaries, or says which process holds it.
    std::string take(const std::string& prefix);

private:
    std::string path;
    int fd = -1;
};

struct OutputFile
{
    std::string path;
    std::function<void(std::ostream&)> write;
};

// Writes every file to its temporary and, once all are written and synced and no target has
// become a folder meanwhile, renames them into place in the order given. Returns "" or a
// one-line reason; a failure leaves no temporary.
std::string writeAll(const std::vector<OutputFile>& files);

// Writes `file` wherever it can when its place cannot take it: beside it as NAME.rescued-PID.EXT,
// then in the temporary folder, then in the working folder. Returns where, or "".
std::string rescue(const OutputFile& file);

// Removes the checkpoints of ranks other than 0 and their temporaries.
void removeRankCheckpoints(const std::string& prefix);
std::vector<std::string> rankCheckpoints(const std::string& prefix);

} // namespace cli
