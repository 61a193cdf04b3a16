#include "outputfiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
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

// Another process could create the file meanwhile; mkstemp picks a name nobody holds.
std::string writeTemporary(const OutputFile& file, std::string& temporary)
{
    std::string pattern = file.path + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        return "cannot write " + file.path + ": " + std::strerror(errno);
    temporary = pattern;
    const char* data = file.contents.data();
    std::size_t left = file.contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const std::string reason = std::strerror(errno);
            ::close(fd);
            return "cannot write " + file.path + ": " + reason;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    // mkstemp makes the file private; a result is as readable as any file the user writes.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, static_cast<mode_t>(0666 & ~mask));
    if (::fsync(fd) != 0 || ::close(fd) != 0)
        return "cannot write " + file.path + ": " + std::strerror(errno);
    return {};
}

} // namespace

std::string checkOutputPrefix(const std::string& prefix, bool force)
{
    if (prefix.empty() || prefix.back() == '/')
        return "--output needs a file name prefix, e.g. results/torus128";
    const std::string folder = folderOf(prefix);
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return "cannot write " + prefix + ".*: no folder " + folder;
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "cannot write " + prefix + ".*: " + std::strerror(errno);
    for (const std::string& suffix : resultSuffixes) {
        const std::string path = prefix + suffix;
        if (fs::is_directory(path, error))
            return "cannot write " + path + ": it is a folder";
        if (!force && fs::exists(path, error))
            return path + " exists (use --force to replace it)";
    }
    return {};
}

std::string writeAll(const std::vector<OutputFile>& files)
{
    std::vector<std::string> temporaries;
    std::string failure;
    for (const OutputFile& file : files) {
        std::string temporary;
        failure = writeTemporary(file, temporary);
        if (!temporary.empty())
            temporaries.push_back(temporary);
        if (!failure.empty())
            break;
    }
    for (std::size_t i = 0; failure.empty() && i < files.size(); ++i)
        if (std::rename(temporaries[i].c_str(), files[i].path.c_str()) != 0)
            failure = "cannot write " + files[i].path + ": " + std::strerror(errno);
    if (!failure.empty())
        for (const std::string& temporary : temporaries)
            std::remove(temporary.c_str());
    return failure;
}

} // namespace cli
