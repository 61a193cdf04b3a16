#include "outputfiles.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

namespace fs = std::filesystem;

std::string folderOf(const std::string& path)
{
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

std::string failure(const std::string& path, const std::string& reason)
{
    return "cannot write " + path + ": " + reason;
}

std::string writeTemporary(const OutputFile& file)
{
    const std::string temporary = temporaryOf(file.path);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return failure(file.path, std::strerror(errno));
        file.write(out);
        out.flush();
        if (!out)
            return failure(file.path, "the disk refused the data");
    }
    const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    return synced ? std::string() : failure(file.path, std::strerror(errno));
}

// A target that is now a folder, or whose folder is gone, would take some files and not others.
std::string checkTarget(const std::string& path)
{
    std::error_code error;
    if (fs::is_directory(path, error))
        return failure(path, "it is a folder");
    if (!fs::is_directory(folderOf(path), error))
        return failure(path, "its folder is gone");
    return {};
}

bool isRankCheckpoint(const std::string& name, const std::string& base)
{
    const std::string start = base + ".rank";
    if (!name.starts_with(start))
        return false;
    std::size_t at = start.size();
    while (at < name.size() && name[at] >= '0' && name[at] <= '9')
        ++at;
    const std::string rest = name.substr(at);
    return at > start.size() && (rest == ".totals" || rest == ".totals.tmp");
}

} // namespace

std::string prefixOf(const std::string& named)
{
    std::string prefix = named;
    for (const std::string& suffix : resultSuffixes)
        if (prefix.size() > suffix.size() && prefix.ends_with(suffix))
            prefix.resize(prefix.size() - suffix.size());
    return prefix;
}

std::string checkNewFile(const std::string& path, bool force)
{
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        return path + " is a folder";
    if (!force && std::filesystem::exists(std::filesystem::symlink_status(path, ignored)))
        return path + " exists (replace it with --force)";
    return {};
}

std::string temporaryOf(const std::string& path)
{
    return path + ".tmp";
}

std::string rankCheckpointOf(const std::string& prefix, int rank)
{
    return prefix + ".rank" + std::to_string(rank) + ".totals";
}

std::string checkOutputPrefix(const std::string& prefix, bool force, int ranks,
                              const std::vector<std::string>& suffixes)
{
    if (prefix.empty() || prefix.back() == '/' || fs::path(prefix).filename() == "." ||
        fs::path(prefix).filename() == "..")
        return "--output needs a file name prefix, e.g. results/torus128";
    const std::string folder = folderOf(prefix);
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return "cannot write " + prefix + ".*: no folder " + folder;
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "cannot write " + prefix + ".*: " + std::strerror(errno);
    const std::string longest =
        temporaryOf(ranks > 1 ? rankCheckpointOf(prefix, ranks - 1) : prefix + ".totals");
    const long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (fs::path(longest).filename().string().size() > std::size_t(nameMax > 0 ? nameMax : 255) ||
        longest.size() >= PATH_MAX)
        return "--output: the prefix is too long for this file system (names up to " +
               std::to_string(nameMax > 0 ? nameMax : 255) + " bytes, " +
               std::to_string(longest.size() - prefix.size()) + " of them for " +
               fs::path(longest).filename().string().substr(
                   fs::path(prefix).filename().string().size()) +
               ")";
    for (const std::string& suffix : suffixes) {
        const std::string path = prefix + suffix;
        if (fs::is_directory(path, error))
            return "cannot write " + path + ": it is a folder";
        if (!force && fs::exists(fs::symlink_status(path, error)))
            return path + " exists (use --force to replace it)";
    }
    if (const auto found = rankCheckpoints(prefix); !force && !found.empty())
        return found.front() + " exists, a checkpoint of an unfinished run (resume it, or use "
                               "--force to start anew)";
    return {};
}

PrefixLock::~PrefixLock()
{
    if (fd < 0)
        return;
    ::unlink(path.c_str());
    ::close(fd);
}

std::string PrefixLock::take(const std::string& prefix)
{
    path = prefix + ".lock";
    // A file unlinked by its last holder between our open and our lock is no lock at all.
    for (int attempt = 0; attempt < 100; ++attempt) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            return failure(path, std::strerror(errno));
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
            char holder[32] = {};
            const ssize_t got = ::pread(fd, holder, sizeof holder - 1, 0);
            ::close(fd);
            fd = -1;
            const std::string pid = got > 0 ? std::string(holder, std::size_t(got)) : "?";
            return prefix + ".* are being written by another live process (pid " + pid + ")";
        }
        struct stat held = {}, named = {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            break;
        ::close(fd);
        fd = -1;
    }
    if (fd < 0)
        return failure(path, "the lock keeps vanishing");
    const std::string pid = std::to_string(::getpid());
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0)
        return failure(path, std::strerror(errno));
    for (const std::string& suffix : resultSuffixes)
        std::remove(temporaryOf(prefix + suffix).c_str());
    return {};
}

std::string writeAll(const std::vector<OutputFile>& files)
{
    std::string reason;
    for (const OutputFile& file : files)
        if (reason.empty())
            reason = writeTemporary(file);
    for (const OutputFile& file : files)
        if (reason.empty())
            reason = checkTarget(file.path);
    for (const OutputFile& file : files)
        if (reason.empty() && std::rename(temporaryOf(file.path).c_str(), file.path.c_str()) != 0)
            reason = failure(file.path, std::strerror(errno));
    if (!reason.empty())
        for (const OutputFile& file : files)
            std::remove(temporaryOf(file.path).c_str());
    return reason;
}

std::string rescue(const OutputFile& file)
{
    // PREFIX.totals becomes PREFIX.rescued-PID.totals, which merge and resume read as any other.
    const fs::path original(file.path);
    const std::string name = original.stem().string() + ".rescued-" + std::to_string(::getpid()) +
                             original.extension().string();
    const char* tmp = std::getenv("TMPDIR");
    const std::string places[] = {(original.parent_path() / name).string(),
                                  (fs::path(tmp && *tmp ? tmp : "/tmp") / name).string(), name};
    for (const std::string& place : places) {
        OutputFile copy{place, file.write};
        if (writeAll({copy}).empty())
            return place;
    }
    return {};
}

namespace {

// The rank checkpoints under `prefix`, with their temporaries or without.
std::vector<std::string> rankFiles(const std::string& prefix, bool temporaries)
{
    std::vector<std::string> found;
    const std::string base = fs::path(prefix).filename().string();
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folderOf(prefix), error)) {
        const std::string name = entry.path().filename().string();
        if (isRankCheckpoint(name, base) && (temporaries || !name.ends_with(".tmp")))
            found.push_back((fs::path(folderOf(prefix)) / name).string());
    }
    return found;
}

} // namespace

std::vector<std::string> rankCheckpoints(const std::string& prefix)
{
    return rankFiles(prefix, false);
}

// A rank killed while writing its first checkpoint leaves a temporary alone.
void removeRankCheckpoints(const std::string& prefix)
{
    for (const std::string& file : rankFiles(prefix, true))
        std::remove(file.c_str());
}

} // namespace cli
