#include "straightforward_explorer.h"

#include "stats/streams.h"

#include <cmath>

namespace straightforward {

std::vector<ExplorerSite> exploreAt(int L, std::uint64_t seed, double p)
{
    const int N = L * L;
    stats::SampleStream stream(seed, 0);
    std::vector<std::uint64_t> number(std::size_t(N), 0);
    // A site's number is 44 bits; the site itself below it breaks ties.
    for (std::size_t s = 0; s < number.size(); ++s)
        number[s] = (stream.next() >> 20 << 20) | s;
    const double bound = std::ldexp(p, 44);
    const auto occupied = [&](int s) { return double(number[std::size_t(s)] >> 20) < bound; };
    std::vector<ExplorerSite> sites(static_cast<std::size_t>(N));
    std::vector<int> cluster(std::size_t(N), -1);
    struct Found
    {
        int size = 0;
        int oldest = -1;
        bool spans = false;
    };
    std::vector<Found> found;
    std::vector<int> queue;
    for (int start = 0; start < N; ++start) {
        if (!occupied(start) || cluster[std::size_t(start)] >= 0)
            continue;
        const int id = int(found.size());
        Found f;
        bool top = false, bottom = false, left = false, right = false;
        queue.assign(1, start);
        cluster[std::size_t(start)] = id;
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const int s = queue[head];
            const int row = s / L, column = s % L;
            ++f.size;
            if (f.oldest < 0 || number[std::size_t(s)] < number[std::size_t(f.oldest)])
                f.oldest = s;
            top |= row == 0;
            bottom |= row == L - 1;
            left |= column == 0;
            right |= column == L - 1;
            const int next[4][2] = {
                {row - 1, column}, {row + 1, column}, {row, column - 1}, {row, column + 1}};
            for (const auto& [r, c] : next) {
                if (r < 0 || r >= L || c < 0 || c >= L)
                    continue;
                const int t = r * L + c;
                if (occupied(t) && cluster[std::size_t(t)] < 0) {
                    cluster[std::size_t(t)] = id;
                    queue.push_back(t);
                }
            }
        }
        f.spans = (top && bottom) || (left && right);
        found.push_back(f);
    }
    int best = -1;
    for (int id = 0; id < int(found.size()); ++id) {
        const Found& f = found[std::size_t(id)];
        if (best < 0 || f.size > found[std::size_t(best)].size ||
            (f.size == found[std::size_t(best)].size &&
             number[std::size_t(f.oldest)] < number[std::size_t(found[std::size_t(best)].oldest)]))
            best = id;
    }
    for (int s = 0; s < N; ++s) {
        const int id = cluster[std::size_t(s)];
        if (id >= 0)
            sites[std::size_t(s)] = {found[std::size_t(id)].oldest, id == best,
                                     found[std::size_t(id)].spans};
    }
    return sites;
}

} // namespace straightforward
