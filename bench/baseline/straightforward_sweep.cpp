#include "straightforward_sweep.h"

#include <algorithm>

namespace straightforward {

SweepSums::SweepSums(int side, bool onTorus) : L(side), torus(onTorus)
{
    const auto entries = static_cast<std::size_t>(L * L + 1);
    for (auto* v : {&largest, &largestSquared, &chi, &chiSquared, &clusters, &clustersSquared})
        v->assign(entries, 0.0);
}

namespace {

// Returns the root of i and sets (ox, oy) to i's displacement from it, compressing the path.
int find(SweepSums& f, int i, int& ox, int& oy)
{
    const auto u = static_cast<std::size_t>(i);
    if (f.parent[u] == i) {
        ox = oy = 0;
        return i;
    }
    int px = 0, py = 0;
    const int root = find(f, f.parent[u], px, py);
    f.dx[u] += px;
    f.dy[u] += py;
    f.parent[u] = root;
    ox = f.dx[u];
    oy = f.dy[u];
    return root;
}

} // namespace

void sweepSample(SweepSums& sums, std::mt19937_64& generator)
{
    const int L = sums.L;
    const int N = L * L;
    SweepSums& f = sums;
    std::vector<int>& order = f.order;
    const auto sites = static_cast<std::size_t>(N);
    order.resize(sites);
    for (int i = 0; i < N; ++i)
        order[static_cast<std::size_t>(i)] = i;
    for (int i = N - 1; i > 0; --i) {
        std::uniform_int_distribution<int> pick(0, i);
        std::swap(order[static_cast<std::size_t>(i)],
                  order[static_cast<std::size_t>(pick(generator))]);
    }

    for (auto* v : {&f.parent, &f.size, &f.dx, &f.dy})
        v->assign(sites, -1);
    for (auto* v : {&f.top, &f.bottom, &f.left, &f.right})
        v->assign(sites, false);
    std::array<int, 4> first{N + 1, N + 1, N + 1, N + 1};
    double largest = 0, sumSquares = 0, clusters = 0;
    for (int n = 1; n <= N; ++n) {
        const int s = order[static_cast<std::size_t>(n - 1)];
        const auto u = static_cast<std::size_t>(s);
        const int x = s % L, y = s / L;
        f.parent[u] = s;
        f.size[u] = 1;
        f.dx[u] = f.dy[u] = 0;
        f.top[u] = y == 0;
        f.bottom[u] = y == L - 1;
        f.left[u] = x == 0;
        f.right[u] = x == L - 1;
        clusters += 1;
        sumSquares += 1;
        const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
        for (const auto& step : steps) {
            int nx = x + step[0], ny = y + step[1];
            if (sums.torus) {
                nx = (nx + L) % L;
                ny = (ny + L) % L;
            } else if (nx < 0 || nx >= L || ny < 0 || ny >= L) {
                continue;
            }
            const int t = ny * L + nx;
            if (f.parent[static_cast<std::size_t>(t)] < 0)
                continue;
            int sx, sy, tx, ty;
            const int rs = find(f, s, sx, sy);
            const int rt = find(f, t, tx, ty);
            // The neighbour's root relative to the new site's root in the unwrapped plane.
            const int relX = sx + step[0] - tx, relY = sy + step[1] - ty;
            if (rs == rt) {
                if (sums.torus && relX != 0)
                    first[1] = std::min(first[1], n);
                if (sums.torus && relY != 0)
                    first[0] = std::min(first[0], n);
                continue;
            }
            const auto a = static_cast<std::size_t>(rs), b = static_cast<std::size_t>(rt);
            sumSquares += 2.0 * f.size[a] * f.size[b];
            clusters -= 1;
            const auto [big, small] = f.size[a] >= f.size[b] ? std::pair{a, b} : std::pair{b, a};
            const int sign = big == a ? 1 : -1;
            f.parent[small] = static_cast<int>(big);
            f.dx[small] = sign * relX;
            f.dy[small] = sign * relY;
            f.size[big] += f.size[small];
            f.top[big] = f.top[big] || f.top[small];
            f.bottom[big] = f.bottom[big] || f.bottom[small];
            f.left[big] = f.left[big] || f.left[small];
            f.right[big] = f.right[big] || f.right[small];
            largest = std::max(largest, static_cast<double>(f.size[big]));
        }
        largest = std::max(largest, 1.0);
        if (!sums.torus) {
            int ox, oy;
            const auto r = static_cast<std::size_t>(find(f, s, ox, oy));
            if (f.top[r] && f.bottom[r])
                first[0] = std::min(first[0], n);
            if (f.left[r] && f.right[r])
                first[1] = std::min(first[1], n);
        }
        const double chi = sumSquares - largest * largest;
        const auto k = static_cast<std::size_t>(n);
        sums.largest[k] += largest;
        sums.largestSquared[k] += largest * largest;
        sums.chi[k] += chi;
        sums.chiSquared[k] += chi * chi;
        sums.clusters[k] += clusters;
        sums.clustersSquared[k] += clusters * clusters;
    }
    first[2] = std::min(first[0], first[1]);
    first[3] = std::max(first[0], first[1]);
    sums.firstN.push_back(first);
}

} // namespace straightforward
