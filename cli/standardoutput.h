#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cli {

// The exit status once standard output has been flushed: a table or a line that could not be
// printed (a full disk, say) makes the command fail, with one line on stderr, however well the
// rest went.
inline int withOutputFlushed(int status)
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    const int error = errno;
    std::fprintf(stderr, "percolation-stats: cannot write the standard output%s%s\n",
                 error != 0 ? ": " : "", error != 0 ? std::strerror(error) : "");
    return status == 0 ? 1 : status;
}

} // namespace cli
