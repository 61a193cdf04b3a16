#include "sweep.h"

#include "streams.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <numeric>
#include <vector>

namespace stats {

namespace {

constexpr std::int32_t Empty = std::numeric_limits<std::int32_t>::min();
// How many additions ahead the union–find entries of a site and its neighbours are prefetched:
// far enough to hide a miss to memory, near enough that the lines are still cached when used.
// The neighbours' parents follow at half the distance, once the neighbours are cached.
constexpr std::size_t PrefetchDistance = 12;
// Below this size the union–find entries stay cached (a core's L2 holds 1–2 MiB) and the
// prefetching only costs instructions.
constexpr std::size_t PrefetchFromBytes = std::size_t{1} << 20;

// Roots hold −size in `parent`; other occupied sites their parent's index; empty sites Empty.
// On the torus a site also holds its displacement to its parent in the unwrapped plane, kept
// modulo 2³² or, where that is exact too, 2¹⁶, which halves the node. The displacements only
// serve to tell whether a loop's winding a around the torus is 0, from a·L; a simple loop through
// at most L² sites has |a| ≤ L, and 0 < |a| ≤ L with a·L ≡ 0 (mod 2ᵏ) needs
// L · gcd(L, 2ᵏ) ≥ 2ᵏ, never so for k = 32 (L ≤ 46340), nor for k = 16 when L ≤ 255, odd, or
// with few factors 2 (600 = 8 · 75: 4800 < 65536).
struct alignas(16) TorusNode // a whole node in one aligned 16-byte slot
{
    std::int32_t parent;
    std::uint32_t dx;
    std::uint32_t dy;
};
struct SmallTorusNode
{
    std::int32_t parent;
    std::uint16_t dx;
    std::uint16_t dy;
};
bool smallTorusIsExact(int L)
{
    return std::int64_t{L} * std::gcd(L, 1 << 16) < (1 << 16);
}

// With open boundaries a site holds only `parent`, and a root, in a table of its own, which
// lattice edges its cluster touches: the finds then walk 4-byte entries.
enum EdgeBits : std::uint8_t { Top = 1, Bottom = 2, Left = 4, Right = 8 };

inline std::int32_t parentOf(std::int32_t node)
{
    return node;
}
template <typename Node> std::int32_t parentOf(const Node& node)
{
    return node.parent;
}

struct Neighbour
{
    std::int64_t site; // −1 outside an open lattice
    std::int32_t dx;
    std::int32_t dy;
};

std::array<std::int32_t, EventCount> firstEvents(std::int64_t vertical, std::int64_t horizontal)
{
    return {static_cast<std::int32_t>(vertical), static_cast<std::int32_t>(horizontal),
            static_cast<std::int32_t>(std::min(vertical, horizontal)),
            static_cast<std::int32_t>(std::max(vertical, horizontal))};
}

// Adds the values at n to the totals as they are found: the totals are walked in order, which
// the processor streams while the union–find work waits on its scattered loads.
[[gnu::always_inline]] inline void addAt(Totals& totals, std::size_t n, std::uint64_t largest,
                                         std::uint64_t squares, std::uint64_t clusters)
{
    const std::uint64_t chi = squares - largest * largest;
    totals.sumLargest[n] += largest;
    totals.sumLargestSquared[n] += largest * largest;
    totals.sumChi[n] += chi;
    totals.sumChiSquared[n] += UInt128{chi} * chi;
    totals.sumClusters[n] += clusters;
    totals.sumClustersSquared[n] += clusters * clusters;
}

} // namespace

struct Sweep::State
{
    int L = 0;
    std::int64_t N = 0;
    Boundary boundary = Boundary::Open;
    std::vector<std::uint32_t> order; // packed y << 16 | x, in the order of occupation
    std::vector<TorusNode> torus;
    std::vector<SmallTorusNode> smallTorus;
    std::vector<std::int32_t> open;
    std::vector<std::uint8_t> edgesOf;
    bool prefetching = false;

    std::size_t index(std::uint32_t packed) const
    {
        return (packed >> 16) * static_cast<std::size_t>(L) + (packed & 0xffffu);
    }

    void neighbours(std::uint32_t packed, Neighbour (&out)[4]) const
    {
        const std::int64_t x = packed & 0xffffu;
        const std::int64_t y = packed >> 16;
        const std::int64_t i = y * L + x;
        const bool wrap = boundary == Boundary::Torus;
        out[0] = {x > 0 ? i - 1 : (wrap ? i + L - 1 : -1), -1, 0};
        out[1] = {x < L - 1 ? i + 1 : (wrap ? i - L + 1 : -1), 1, 0};
        out[2] = {y > 0 ? i - L : (wrap ? i + N - L : -1), 0, -1};
        out[3] = {y < L - 1 ? i + L : (wrap ? i - N + L : -1), 0, 1};
    }

    void shuffle(std::uint64_t seed, std::uint64_t sample)
    {
        std::size_t k = 0;
        for (std::uint32_t y = 0; y < static_cast<std::uint32_t>(L); ++y)
            for (std::uint32_t x = 0; x < static_cast<std::uint32_t>(L); ++x)
                order[k++] = y << 16 | x;
        SampleStream stream(seed, sample);
        for (k = order.size(); k > 1; --k)
            std::swap(order[k - 1], order[stream.below(static_cast<std::uint32_t>(k))]);
    }

    // Forced inline: as a call of its own, a function of nothing but prefetches is judged free
    // of effects and dropped by the optimiser.
    template <typename Node>
    [[gnu::always_inline]] void prefetch(const std::vector<Node>& nodes, std::size_t n) const
    {
        if (n + PrefetchDistance < order.size()) {
            const std::uint32_t packed = order[n + PrefetchDistance];
            Neighbour around[4];
            neighbours(packed, around);
            __builtin_prefetch(&nodes[index(packed)]);
            for (const auto& nb : around)
                __builtin_prefetch(&nodes[static_cast<std::size_t>(nb.site >= 0 ? nb.site : 0)]);
        }
        if (n + PrefetchDistance / 2 < order.size()) {
            Neighbour around[4];
            neighbours(order[n + PrefetchDistance / 2], around);
            for (const auto& nb : around) {
                const std::int32_t parent =
                    parentOf(nodes[static_cast<std::size_t>(nb.site >= 0 ? nb.site : 0)]);
                __builtin_prefetch(&nodes[static_cast<std::size_t>(parent >= 0 ? parent : 0)]);
            }
        }
    }

    // Path halving: every site on the way is pointed at its grandparent.
    std::int64_t findOpen(std::int64_t j)
    {
        for (;;) {
            const std::int32_t p = open[static_cast<std::size_t>(j)];
            if (p < 0)
                return j;
            const std::int32_t gp = open[static_cast<std::size_t>(p)];
            if (gp < 0)
                return p;
            open[static_cast<std::size_t>(j)] = gp;
            j = gp;
        }
    }

    // As findOpen, adding up the displacement (dx, dy) from j to its root.
    template <typename Node>
    static std::int64_t findTorus(std::vector<Node>& nodes, std::int64_t j, std::uint32_t& dx,
                                  std::uint32_t& dy)
    {
        using Offset = decltype(Node::dx);
        dx = dy = 0;
        for (;;) {
            Node& node = nodes[static_cast<std::size_t>(j)];
            if (node.parent < 0)
                return j;
            const Node& up = nodes[static_cast<std::size_t>(node.parent)];
            if (up.parent < 0) {
                dx += node.dx;
                dy += node.dy;
                return node.parent;
            }
            node.dx = static_cast<Offset>(node.dx + up.dx);
            node.dy = static_cast<Offset>(node.dy + up.dy);
            node.parent = up.parent;
            dx += node.dx;
            dy += node.dy;
            j = node.parent;
        }
    }

    // Both add the sample's values at every n to the totals and return the first n of each
    // event (N + 1 for never).
    std::array<std::int32_t, EventCount> runOpen(Totals& totals);
    template <typename Node>
    std::array<std::int32_t, EventCount> runTorus(std::vector<Node>& nodes, Totals& totals);
};

std::array<std::int32_t, EventCount> Sweep::State::runOpen(Totals& totals)
{
    std::fill(open.begin(), open.end(), Empty);
    std::int64_t vertical = N + 1;
    std::int64_t horizontal = N + 1;
    std::uint32_t maxSize = 0;
    std::uint64_t squares = 0;
    std::uint32_t count = 0;
    const auto last = static_cast<std::uint32_t>(L - 1);
    for (std::size_t n = 1; n <= order.size(); ++n) {
        if (prefetching)
            prefetch(open, n - 1);
        const std::uint32_t packed = order[n - 1];
        const std::uint32_t x = packed & 0xffffu;
        const std::uint32_t y = packed >> 16;
        auto edges = static_cast<std::uint8_t>((y == 0 ? Top : 0) | (y == last ? Bottom : 0) |
                                               (x == 0 ? Left : 0) | (x == last ? Right : 0));
        Neighbour around[4];
        neighbours(packed, around);
        auto root = static_cast<std::int64_t>(index(packed));
        open[static_cast<std::size_t>(root)] = -1;
        ++count;
        ++squares;
        for (const auto& nb : around) {
            if (nb.site < 0 || open[static_cast<std::size_t>(nb.site)] == Empty)
                continue;
            const std::int64_t other = findOpen(nb.site);
            if (other == root)
                continue;
            std::int32_t& a = open[static_cast<std::size_t>(root)];
            std::int32_t& b = open[static_cast<std::size_t>(other)];
            const auto sizeA = static_cast<std::uint64_t>(-a);
            const auto sizeB = static_cast<std::uint64_t>(-b);
            squares += 2 * sizeA * sizeB;
            --count;
            const std::int32_t merged = a + b;
            edges = static_cast<std::uint8_t>(edges | edgesOf[static_cast<std::size_t>(other)]);
            if (sizeA >= sizeB) {
                b = static_cast<std::int32_t>(root);
                a = merged;
            } else {
                a = static_cast<std::int32_t>(other);
                b = merged;
                root = other;
            }
        }
        edgesOf[static_cast<std::size_t>(root)] = edges;
        maxSize =
            std::max(maxSize, static_cast<std::uint32_t>(-open[static_cast<std::size_t>(root)]));
        const auto at = static_cast<std::int64_t>(n);
        if (vertical > N && (edges & (Top | Bottom)) == (Top | Bottom))
            vertical = at;
        if (horizontal > N && (edges & (Left | Right)) == (Left | Right))
            horizontal = at;
        addAt(totals, n, maxSize, squares, count);
    }
    return firstEvents(vertical, horizontal);
}

// Joining two sites of one cluster whose displacements to the root differ by other than the
// step between them closes a loop around the torus, in the direction(s) in which they differ.
template <typename Node>
std::array<std::int32_t, EventCount> Sweep::State::runTorus(std::vector<Node>& nodes,
                                                            Totals& totals)
{
    using Offset = decltype(Node::dx);
    std::fill(nodes.begin(), nodes.end(), Node{Empty, 0, 0});
    std::int64_t vertical = N + 1;
    std::int64_t horizontal = N + 1;
    std::uint32_t maxSize = 0;
    std::uint64_t squares = 0;
    std::uint32_t count = 0;
    // Which neighbours of the coming site are occupied is read one addition ahead, so that the
    // branches on it resolve at once; the site added in between is patched in.
    Neighbour next[4];
    unsigned nextOccupied = 0;
    if (!order.empty())
        neighbours(order[0], next);
    for (std::size_t n = 1; n <= order.size(); ++n) {
        if (prefetching)
            prefetch(nodes, n - 1);
        const std::uint32_t packed = order[n - 1];
        Neighbour around[4];
        std::copy(next, next + 4, around);
        const unsigned occupiedAround = nextOccupied;
        auto root = static_cast<std::int64_t>(index(packed));
        nextOccupied = 0;
        if (n < order.size()) {
            neighbours(order[n], next);
            for (unsigned k = 0; k < 4; ++k)
                nextOccupied |= (nodes[static_cast<std::size_t>(next[k].site)].parent != Empty ||
                                 next[k].site == root)
                                    ? 1u << k
                                    : 0u;
        }
        nodes[static_cast<std::size_t>(root)] = {-1, 0, 0};
        // The new site's displacement to its current root.
        std::uint32_t ownDx = 0;
        std::uint32_t ownDy = 0;
        ++count;
        ++squares;
        const auto at = static_cast<std::int64_t>(n);
        for (unsigned k = 0; k < 4; ++k) {
            if ((occupiedAround >> k & 1) == 0)
                continue;
            const Neighbour& nb = around[k];
            std::uint32_t dx = 0;
            std::uint32_t dy = 0;
            const std::int64_t other = findTorus(nodes, nb.site, dx, dy);
            // Where the neighbour's root lies relative to the new site's root.
            const auto relX = static_cast<Offset>(ownDx + static_cast<std::uint32_t>(nb.dx) - dx);
            const auto relY = static_cast<Offset>(ownDy + static_cast<std::uint32_t>(nb.dy) - dy);
            if (other == root) {
                if (relX != 0 && horizontal > N)
                    horizontal = at;
                if (relY != 0 && vertical > N)
                    vertical = at;
                continue;
            }
            Node& a = nodes[static_cast<std::size_t>(root)];
            Node& b = nodes[static_cast<std::size_t>(other)];
            const auto sizeA = static_cast<std::uint64_t>(-a.parent);
            const auto sizeB = static_cast<std::uint64_t>(-b.parent);
            squares += 2 * sizeA * sizeB;
            --count;
            const std::int32_t merged = a.parent + b.parent;
            if (sizeA >= sizeB) {
                b = {static_cast<std::int32_t>(root), relX, relY};
                a.parent = merged;
            } else {
                a = {static_cast<std::int32_t>(other), static_cast<Offset>(0u - relX),
                     static_cast<Offset>(0u - relY)};
                b.parent = merged;
                ownDx -= relX;
                ownDy -= relY;
                root = other;
            }
        }
        maxSize = std::max(
            maxSize, static_cast<std::uint32_t>(-nodes[static_cast<std::size_t>(root)].parent));
        addAt(totals, n, maxSize, squares, count);
    }
    return firstEvents(vertical, horizontal);
}

Sweep::Sweep(int L, Boundary boundary) : state(std::make_unique<State>())
{
    State& s = *state;
    s.L = L;
    s.N = std::int64_t{L} * L;
    s.boundary = boundary;
    const auto sites = static_cast<std::size_t>(s.N);
    s.order.resize(sites);
    std::size_t nodeBytes = sizeof(std::int32_t);
    if (boundary == Boundary::Open)
        s.open.resize(sites), s.edgesOf.resize(sites);
    else if (smallTorusIsExact(L))
        s.smallTorus.resize(sites), nodeBytes = sizeof(SmallTorusNode);
    else
        s.torus.resize(sites), nodeBytes = sizeof(TorusNode);
    s.prefetching = sites * nodeBytes >= PrefetchFromBytes;
}

Sweep::~Sweep() = default;

void Sweep::run(std::uint64_t seed, std::uint64_t sample, Totals& totals)
{
    State& s = *state;
    assert(totals.L == s.L && totals.boundary == s.boundary);
    s.shuffle(seed, sample);
    SampleEvents record;
    record.sample = sample;
    if (s.boundary == Boundary::Open)
        record.firstN = s.runOpen(totals);
    else if (smallTorusIsExact(s.L))
        record.firstN = s.runTorus(s.smallTorus, totals);
    else
        record.firstN = s.runTorus(s.torus, totals);
    // Runs normally come in increasing sample order; anything else is put in its place.
    if (totals.events.empty() || totals.events.back().sample < sample)
        totals.events.push_back(record);
    else
        totals.events.insert(
            std::lower_bound(totals.events.begin(), totals.events.end(), sample,
                             [](const SampleEvents& e, std::uint64_t k) { return e.sample < k; }),
            record);
}

} // namespace stats
