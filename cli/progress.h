#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

// A progress line on stderr for a person at a terminal: samples done, rate and time left.
// Silent when stderr is not a terminal, so logs and pipes stay clean.
namespace cli {

class Progress
{
public:
    // Time left assumes that a sample costs in proportion to its number of sites.
    Progress(std::vector<int> sizes, std::vector<std::uint64_t> samplesToRun);

    void startSize(std::size_t index);
    void update(std::uint64_t samplesDone); // of the current size; cheap when called often
    void finish();

private:
    void draw(std::uint64_t samplesDone);

    bool visible;
    std::vector<int> sizes;
    std::vector<std::uint64_t> samples; // to run, per size
    std::size_t current = 0;
    double sitesBefore = 0; // of the sizes already done
    double sitesTotal = 0;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point sizeStart;
    std::chrono::steady_clock::time_point lastDrawn;
};

} // namespace cli
