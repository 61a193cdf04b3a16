#include "straightforward.h"

#include <memory>

namespace straightforward {

double Generator::next()
{
    constexpr std::int32_t a = 16807;
    constexpr std::int32_t m = 2147483647;
    constexpr std::int32_t q = 127773;
    constexpr std::int32_t r = 2836;
    static const double scale = 1.0 / 2147483646.0;

    const std::int32_t k = state / q;
    state = a * (state - k * q) - r * k;
    if (state < 0)
        state += m;
    return static_cast<double>(state - 1) * scale;
}

int occupySites(Generator& generator, double p, int* site, int* occupied, int L)
{
    int count = 0;
    for (int s = 1; s <= L * L; ++s) {
        if (generator.next() < p) {
            site[s] = 1;
            occupied[++count] = s;
        } else {
            site[s] = 0;
        }
    }
    return count;
}

int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L)
{
    const int n = L * L;
    const auto markArray = std::make_unique<int[]>(static_cast<std::size_t>(n) + 1);
    const auto queueArray = std::make_unique<int[]>(static_cast<std::size_t>(n) + 1);
    int* mark = markArray.get();
    int* queue = queueArray.get();
    for (int s = 1; s <= n; ++s) {
        mark[s] = site[s];
        queue[s] = 0;
    }

    int best = 0;
    for (int i = 1; i <= nOccupied; ++i) {
        const int start = occupied[i];
        if (mark[start] == 2)
            continue;
        queue[1] = start;
        int length = 1;
        for (int k = 1; k <= length; ++k) {
            const int x = queue[k];
            const int neighbours[4] = {x - L, x + 1, x + L, x - 1};
            const bool exists[4] = {x - L > 0, x % L != 0, x + L <= n, (x - 1) % L != 0};
            for (int j = 0; j < 4; ++j) {
                const int y = neighbours[j];
                if (exists[j] && mark[y] == 1) {
                    mark[x] = 0;
                    mark[y] = 2;
                    queue[++length] = y;
                }
            }
        }
        for (int k = 1; k <= length; ++k)
            mark[queue[k]] = 2;
        if (length > best) {
            for (int k = 1; k <= length; ++k)
                largest[k] = queue[k];
            best = length;
        }
    }
    return best;
}

} // namespace straightforward
