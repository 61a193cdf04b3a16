#include "progress.h"

#include <cstdio>
#include <unistd.h>

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

double sites(int L)
{
    return double(L) * double(L);
}

void formatDuration(char* text, std::size_t size, double seconds)
{
    const auto whole = static_cast<long long>(seconds + 0.5);
    if (whole >= 3600)
        std::snprintf(text, size, "%lld h %02lld min", whole / 3600, whole / 60 % 60);
    else if (whole >= 60)
        std::snprintf(text, size, "%lld min %02lld s", whole / 60, whole % 60);
    else
        std::snprintf(text, size, "%lld s", whole);
}

} // namespace

Progress::Progress(std::vector<int> sizeList, std::vector<std::uint64_t> toRun)
    : visible(isatty(STDERR_FILENO) != 0), sizes(std::move(sizeList)), samples(std::move(toRun)),
      start(Clock::now()), lastDrawn(start)
{
    for (std::size_t i = 0; i < sizes.size(); ++i)
        sitesTotal += sites(sizes[i]) * double(samples[i]);
}

void Progress::startSize(std::size_t index)
{
    sitesBefore = 0;
    for (std::size_t i = 0; i < index; ++i)
        sitesBefore += sites(sizes[i]) * double(samples[i]);
    current = index;
    sizeStart = Clock::now();
    draw(0);
}

void Progress::update(std::uint64_t samplesDone)
{
    const auto now = Clock::now();
    if (now - lastDrawn < std::chrono::milliseconds(250))
        return;
    lastDrawn = now;
    draw(samplesDone);
}

void Progress::draw(std::uint64_t samplesDone)
{
    if (!visible)
        return;
    const auto now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - start).count();
    const double sizeElapsed = std::chrono::duration<double>(now - sizeStart).count();
    const double sitesDone = sitesBefore + sites(sizes[current]) * double(samplesDone);
    char left[32] = "?";
    double rate = 0;
    if (elapsed > 0.5 && sitesDone > 0)
        formatDuration(left, sizeof left, elapsed * (sitesTotal - sitesDone) / sitesDone);
    if (sizeElapsed > 0.5)
        rate = double(samplesDone) / sizeElapsed;
    std::fprintf(stderr, "\r\033[KL = %d (%zu of %zu): %llu of %llu samples, %.0f/s, %s left",
                 sizes[current], current + 1, sizes.size(),
                 static_cast<unsigned long long>(samplesDone),
                 static_cast<unsigned long long>(samples[current]), rate, left);
    std::fflush(stderr);
}

void Progress::finish()
{
    if (visible)
        std::fprintf(stderr, "\r\033[K");
}

} // namespace cli
