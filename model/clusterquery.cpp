#include "clusterquery.h"

#include "lattice.h"

#include <algorithm>
#include <cassert>

namespace model {

const SiteCluster& ClusterQuery::clusterOf(const int* site, int L, int s, const int* largest,
                                           int largestSize)
{
    assert(L >= 1 && L <= MaxLinearSize && s >= 1 && s <= L * L);
    if (site[s] == 0) {
        // An empty site answers without a search, and the cached cluster stays usable.
        static constexpr SiteCluster empty{};
        return empty;
    }
    if (!current || mark[static_cast<std::size_t>(s)] != stamp)
        search(site, L, s, largest, largestSize);
    return answer;
}

void ClusterQuery::search(const int* site, int L, int s, const int* largest, int largestSize)
{
    if (mark.empty()) {
        mark.assign(SiteCapacity, 0);
        queue.resize(SiteCapacity);
    }
    if (++stamp == 0) {
        std::fill(mark.begin(), mark.end(), 0);
        stamp = 1;
    }
    auto marked = [this](int t) -> std::uint32_t& { return mark[static_cast<std::size_t>(t)]; };

    int topRow = L;
    int bottomRow = -1;
    int leftColumn = L;
    int rightColumn = -1;
    int end = 0;
    queue[0] = s;
    marked(s) = stamp;
    end = 1;
    for (int k = 0; k < end; ++k) {
        const int t = queue[static_cast<std::size_t>(k)];
        const int row = (t - 1) / L;
        const int column = (t - 1) % L;
        topRow = std::min(topRow, row);
        bottomRow = std::max(bottomRow, row);
        leftColumn = std::min(leftColumn, column);
        rightColumn = std::max(rightColumn, column);
        const int neighbours[] = {row > 0 ? t - L : 0, column < L - 1 ? t + 1 : 0,
                                  row < L - 1 ? t + L : 0, column > 0 ? t - 1 : 0};
        for (const int n : neighbours) {
            if (n != 0 && site[n] != 0 && marked(n) != stamp) {
                marked(n) = stamp;
                queue[static_cast<std::size_t>(end++)] = n;
            }
        }
    }

    answer.size = end;
    answer.spansTopToBottom = topRow == 0 && bottomRow == L - 1;
    answer.spansLeftToRight = leftColumn == 0 && rightColumn == L - 1;
    answer.isLargest = largestSize > 0 && marked(largest[1]) == stamp;
    answer.hasLargestSize = largestSize > 0 && end == largestSize;
    current = true;
}

} // namespace model
