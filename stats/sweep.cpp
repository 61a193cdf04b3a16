#include "sweep.h"

#include "streams.h"

#include <algorithm>
#include <cassert>
#include <numeric>
#include <type_traits>
#include <vector>

namespace stats {

namespace {

// How many additions ahead the union–find entries of a site and its neighbours are prefetched:
// far enough to hide a miss to memory, near enough that the lines are still cached when used.
// The neighbours' parents follow at half the distance, once the neighbours are cached.
constexpr std::size_t PrefetchDistance = 12;
// Below this size the union–find entries stay cached (a core's L2 holds 1–2 MiB) and the
// prefetching only costs instructions.
constexpr std::size_t PrefetchFromBytes = std::size_t{1} << 20;

// a when cond, else b, without a branch: which neighbours are occupied, which roots coincide and
// which cluster is largest are close to coin tosses, and mispredicted branches on them once
// cost more than all the rest of an addition.
// GCC turns the plain forms back into branches here, so x86-64 gets its conditional move spelt
// out.
template <typename T> [[gnu::always_inline]] inline T pick(bool cond, T a, T b)
{
#if defined(__x86_64__)
    if constexpr (sizeof(T) == 4 || sizeof(T) == 8) {
        __asm__("testb %2, %2\n\tcmovne %1, %0" : "+r"(b) : "rm"(a), "q"(cond) : "cc");
        return b;
    }
#endif
    using U = std::make_unsigned_t<T>;
    const U mask = U{0} - static_cast<U>(cond);
    return static_cast<T>((static_cast<U>(a) & mask) | (static_cast<U>(b) & ~mask));
}

// Every site holds its parent; a root is its own parent. Empty sites, and the neighbours beyond
// an open lattice's edges, point to one extra node (index N), a root of size 0 that touches no
// edge, so that finding their root needs no test of occupation and merging it changes nothing.
// On the torus a site also holds its position relative to its parent in the unwrapped plane; a
// root's is 0. The positions only serve to tell whether a loop's winding a around the torus is
// 0, from its extent a·L; a simple loop through at most L² + 1 sites has |a·L| ≤ L² + 1.
//
// Split positions keep x and y each modulo 2ᵏ: 0 < |a| ≤ L with a·L ≡ 0 (mod 2ᵏ) needs
// L · gcd(L, 2ᵏ) ≥ 2ᵏ, never so for k = 32 (L ≤ 46340), nor for k = 16 when L ≤ 255, odd, or
// with few factors 2 (600 = 8 · 75: 4800 < 65536).
template <typename Word> struct Split
{
    Word x;
    Word y;

    static Split step(int dx, int dy) { return {static_cast<Word>(dx), static_cast<Word>(dy)}; }
    friend Split operator+(Split a, Split b)
    {
        return {static_cast<Word>(a.x + b.x), static_cast<Word>(a.y + b.y)};
    }
    friend Split operator-(Split a, Split b)
    {
        return {static_cast<Word>(a.x - b.x), static_cast<Word>(a.y - b.y)};
    }
    friend bool operator!=(Split a, Split b) { return ((a.x ^ b.x) | (a.y ^ b.y)) != 0; }
    bool wrapsX() const { return x != 0; } // of a difference of two placements
    bool wrapsY() const { return y != 0; }
};
// Packed positions keep x + 2¹⁶·y modulo 2³², one addition for both. When L² + 1 < 2¹⁵ the x
// of a loop's extent is its low half read as signed, exactly, and what is left is 2¹⁶·y, with
// |y| < 2¹⁶.
struct Packed
{
    std::uint32_t v;

    static Packed step(int dx, int dy)
    {
        return {static_cast<std::uint32_t>(dx) + (static_cast<std::uint32_t>(dy) << 16)};
    }
    friend Packed operator+(Packed a, Packed b) { return {a.v + b.v}; }
    friend Packed operator-(Packed a, Packed b) { return {a.v - b.v}; }
    friend bool operator!=(Packed a, Packed b) { return a.v != b.v; }
    bool wrapsX() const { return static_cast<std::uint16_t>(v) != 0; }
    bool wrapsY() const
    {
        return v != static_cast<std::uint32_t>(
                        static_cast<std::int16_t>(static_cast<std::uint16_t>(v)));
    }
};
bool packedIsExact(int L)
{
    return std::int64_t{L} * L + 1 < (1 << 15);
}
bool splitSmallIsExact(int L)
{
    return std::int64_t{L} * std::gcd(L, 1 << 16) < (1 << 16);
}

template <typename Position> struct alignas(sizeof(Position) == 4 ? 8 : 16) TorusNode
{
    std::uint32_t parent;
    Position offset;
};

// The lattice edges a cluster touches, kept at its root.
enum EdgeBits : std::uint8_t { Top = 1, Bottom = 2, Left = 4, Right = 8 };

inline std::uint32_t parentOf(std::uint32_t node)
{
    return node;
}
template <typename Node> std::uint32_t parentOf(const Node& node)
{
    return node.parent;
}

// Path halving, first two steps without a branch: after halving nearly every path is that short.
// The deeper rest is walked in a loop of its own, out of the way of the common case.
inline std::uint32_t& parentIn(std::uint32_t& node)
{
    return node;
}
template <typename Node> std::uint32_t& parentIn(Node& node)
{
    return node.parent;
}

template <typename Node> [[gnu::noinline]] std::uint32_t findDeeper(Node* nodes, std::uint32_t j)
{
    for (;;) {
        const std::uint32_t p = parentIn(nodes[j]);
        if (p == j)
            return j;
        const std::uint32_t g = parentIn(nodes[p]);
        parentIn(nodes[j]) = g;
        j = g;
    }
}

template <typename Node>
[[gnu::always_inline]] inline std::uint32_t find(Node* nodes, std::uint32_t j)
{
    const std::uint32_t p = parentIn(nodes[j]);
    const std::uint32_t g = parentIn(nodes[p]);
    parentIn(nodes[j]) = g;
    return __builtin_expect(parentIn(nodes[g]) == g, 1) ? g : findDeeper(nodes, g);
}

// As find, adding up the position (dx, dy) of j relative to its root.
template <typename Position>
[[gnu::noinline]] std::uint32_t findDeeper(TorusNode<Position>* nodes, std::uint32_t j,
                                           Position& offset)
{
    for (;;) {
        TorusNode<Position>& node = nodes[j];
        if (node.parent == j)
            return j;
        const TorusNode<Position>& up = nodes[node.parent];
        node = {up.parent, node.offset + up.offset};
        offset = offset + node.offset;
        j = node.parent;
    }
}

template <typename Position>
[[gnu::always_inline]] inline std::uint32_t find(TorusNode<Position>* nodes, std::uint32_t j,
                                                 Position& offset)
{
    const TorusNode<Position> a = nodes[j];
    const TorusNode<Position> b = nodes[a.parent];
    const std::uint32_t g = b.parent;
    offset = a.offset + b.offset;
    nodes[j] = {g, offset};
    return __builtin_expect(nodes[g].parent == g, 1) ? g : findDeeper(nodes, g, offset);
}

std::array<std::int32_t, EventCount> firstEvents(std::int64_t vertical, std::int64_t horizontal)
{
    return {static_cast<std::int32_t>(vertical), static_cast<std::int32_t>(horizontal),
            static_cast<std::int32_t>(std::min(vertical, horizontal)),
            static_cast<std::int32_t>(std::max(vertical, horizontal))};
}

// Adds the values at n to the totals as they are found: the totals are walked in order, which
// the processor streams while the union–find work waits on its scattered loads.
// The arrays are reached through plain pointers, which the stores cannot be taken to change.
struct Sums
{
    explicit Sums(Totals& t)
        : largest(t.sumLargest.data()), largestSquared(t.sumLargestSquared.data()),
          chi(t.sumChi.data()), chiSquared(t.sumChiSquared.data()), clusters(t.sumClusters.data()),
          clustersSquared(t.sumClustersSquared.data())
    {
    }

    [[gnu::always_inline]] void addAt(std::size_t n, std::uint64_t largestSize,
                                      std::uint64_t squares, std::uint64_t clusterCount)
    {
        const std::uint64_t c = squares - largestSize * largestSize;
        largest[n] += largestSize;
        largestSquared[n] += largestSize * largestSize;
        chi[n] += c;
        chiSquared[n] += UInt128{c} * c;
        clusters[n] += clusterCount;
        clustersSquared[n] += clusterCount * clusterCount;
    }

    std::uint64_t* largest;
    UInt128* largestSquared;
    UInt128* chi;
    UInt128* chiSquared;
    std::uint64_t* clusters;
    UInt128* clustersSquared;
};

// The roots of a new site's four neighbours (index N for none), then the site itself, and the
// neighbours' sizes, and which of them are distinct clusters: the site joins all those at once.
struct Around
{
    std::uint32_t root[5];
    std::uint32_t size[4];
    bool distinct[4]; // a root not met before; the empty root's size of 0 adds nothing
    bool same[4][4];  // same[j][k], j < k: both neighbours lie in one cluster

    void compare(std::uint32_t none)
    {
        for (int k = 0; k < 4; ++k) {
            const bool occupied = root[k] != none;
            bool repeated = false;
            for (int j = 0; j < k; ++j) {
                const bool equal = root[j] == root[k];
                same[j][k] = occupied & equal;
                repeated = repeated | equal;
            }
            distinct[k] = !repeated;
        }
    }
};

// What joining the clusters around a new site changes: the sums are exact rearrangements of
// adding 2·a·b to Σs² and removing one cluster for every pair merged in turn.
struct Join
{
    std::uint32_t big;   // the largest cluster's root, or the new site
    std::uint32_t total; // the size of the joined cluster
    int largestAt;       // which neighbour leads to big, or 4 for the site
    std::uint64_t squaresAdded;
    std::uint32_t joined; // how many clusters the new site joins
};

[[gnu::always_inline]] inline Join join(const Around& a)
{
    Join j{0, 0, 4, 0, 0};
    std::uint64_t sum = 0;
    std::uint64_t squares = 0;
    // Size and neighbour in one key, whose maximum names the largest cluster; the site itself,
    // of no size yet, wins only when no neighbour is occupied.
    std::uint64_t largest = 4;
    for (int k = 0; k < 4; ++k) {
        const std::uint32_t s = a.size[k] & (0u - static_cast<std::uint32_t>(a.distinct[k]));
        sum += s;
        squares += std::uint64_t{s} * s;
        j.joined += s != 0;
        largest = std::max(largest, std::uint64_t{s} << 3 | static_cast<unsigned>(k));
    }
    j.largestAt = static_cast<int>(largest & 7);
    j.big = a.root[j.largestAt];
    j.total = static_cast<std::uint32_t>(1 + sum);
    j.squaresAdded = 2 * sum + sum * sum - squares;
    return j;
}

} // namespace

struct Sweep::State
{
    int L = 0;
    std::int64_t N = 0;
    Boundary boundary = Boundary::Open;
    std::vector<std::uint32_t> order; // packed y << 16 | x, in the order of occupation
    // Indexed by site, and N for the shared empty root. Sizes and edges are read at roots
    // only, each written when its site became a root, so they are never cleared.
    std::vector<std::uint32_t> parent;
    std::vector<TorusNode<Packed>> packedTorus;
    std::vector<TorusNode<Split<std::uint16_t>>> smallTorus;
    std::vector<TorusNode<Split<std::uint32_t>>> torus;
    std::vector<std::uint32_t> sizes;
    std::vector<std::uint8_t> edges;
    bool prefetching = false;

    std::uint32_t index(std::uint32_t packed) const
    {
        return (packed >> 16) * static_cast<std::uint32_t>(L) + (packed & 0xffffu);
    }

    // Left, right, up, down; N beyond the edges of an open lattice.
    void neighbours(std::uint32_t packed, std::uint32_t (&out)[4]) const
    {
        const std::uint32_t x = packed & 0xffffu;
        const std::uint32_t y = packed >> 16;
        const auto l = static_cast<std::uint32_t>(L);
        const auto n = static_cast<std::uint32_t>(N);
        const std::uint32_t i = y * l + x;
        const bool wrap = boundary == Boundary::Torus;
        out[0] = x > 0 ? i - 1 : (wrap ? i + l - 1 : n);
        out[1] = x < l - 1 ? i + 1 : (wrap ? i - l + 1 : n);
        out[2] = y > 0 ? i - l : (wrap ? i + n - l : n);
        out[3] = y < l - 1 ? i + l : (wrap ? i - n + l : n);
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
        std::uint32_t around[4];
        if (n + PrefetchDistance < order.size()) {
            const std::uint32_t packed = order[n + PrefetchDistance];
            neighbours(packed, around);
            __builtin_prefetch(&nodes[index(packed)]);
            for (const std::uint32_t site : around)
                __builtin_prefetch(&nodes[site]);
        }
        if (n + PrefetchDistance / 2 < order.size()) {
            neighbours(order[n + PrefetchDistance / 2], around);
            for (const std::uint32_t site : around) {
                const std::uint32_t up = parentOf(nodes[site]);
                __builtin_prefetch(&nodes[up]);
                __builtin_prefetch(&sizes[up]);
            }
        }
    }

    // Both add the sample's values at every n to the totals and return the first n of each
    // event (N + 1 for never).
    std::array<std::int32_t, EventCount> runOpen(Totals& totals);
    struct Running
    {
        std::uint32_t maxSize;
        std::uint64_t squares;
        std::uint32_t count;
    };
    template <typename Node>
    void runPlain(std::vector<Node>& nodes, std::size_t from, Sums sums, Running r);
    template <typename Position>
    std::array<std::int32_t, EventCount> runTorus(std::vector<TorusNode<Position>>& nodes,
                                                  Totals& totals);
};

std::array<std::int32_t, EventCount> Sweep::State::runOpen(Totals& totals)
{
    const auto none = static_cast<std::uint32_t>(N);
    std::fill(parent.begin(), parent.end(), none);
    sizes[none] = 0;
    edges[none] = 0;
    Sums sums(totals);
    std::int64_t vertical = N + 1;
    std::int64_t horizontal = N + 1;
    std::uint32_t maxSize = 0;
    std::uint64_t squares = 0;
    std::uint32_t count = 0;
    const auto last = static_cast<std::uint32_t>(L - 1);
    const std::uint32_t* const sequence = order.data();
    const std::size_t sites = order.size();
    std::size_t n = 1;
    for (; n <= sites && (vertical > N || horizontal > N); ++n) {
        if (prefetching)
            prefetch(parent, n - 1);
        const std::uint32_t packed = sequence[n - 1];
        const std::uint32_t x = packed & 0xffffu;
        const std::uint32_t y = packed >> 16;
        const std::uint32_t site = index(packed);
        std::uint32_t nb[4];
        neighbours(packed, nb);
        Around a;
        a.root[4] = site;
        unsigned touched = (y == 0 ? Top : 0) | (y == last ? Bottom : 0) | (x == 0 ? Left : 0) |
                           (x == last ? Right : 0);
        for (int k = 0; k < 4; ++k) {
            a.root[k] = find(parent.data(), nb[k]);
            a.size[k] = sizes[a.root[k]];
            touched |= edges[a.root[k]]; // the empty root touches none
        }
        a.compare(none);
        const Join j = join(a);
        for (const std::uint32_t r : a.root)
            parent[r] = j.big;
        parent[none] = none;
        parent[site] = j.big;
        sizes[j.big] = j.total;
        edges[j.big] = static_cast<std::uint8_t>(touched);
        squares += 1 + j.squaresAdded;
        count = count + 1 - j.joined;
        maxSize = std::max(maxSize, j.total);
        const auto at = static_cast<std::int64_t>(n);
        vertical =
            pick(vertical > N && (touched & (Top | Bottom)) == (Top | Bottom), at, vertical);
        horizontal =
            pick(horizontal > N && (touched & (Left | Right)) == (Left | Right), at, horizontal);
        sums.addAt(n, maxSize, squares, count);
    }
    runPlain(parent, n, sums, {maxSize, squares, count});
    return firstEvents(vertical, horizontal);
}

// Once every event has happened only the clusters' sizes matter: the rest of the sweep leaves
// edges and positions alone.
template <typename Node>
void Sweep::State::runPlain(std::vector<Node>& nodes, std::size_t from, Sums sums, Running r)
{
    const auto none = static_cast<std::uint32_t>(N);
    const std::uint32_t* const sequence = order.data();
    const std::size_t sites = order.size();
    for (std::size_t n = from; n <= sites; ++n) {
        if (prefetching)
            prefetch(nodes, n - 1);
        const std::uint32_t packed = sequence[n - 1];
        const std::uint32_t site = index(packed);
        std::uint32_t nb[4];
        neighbours(packed, nb);
        Around a;
        a.root[4] = site;
        for (int k = 0; k < 4; ++k) {
            a.root[k] = find(nodes.data(), nb[k]);
            a.size[k] = sizes[a.root[k]];
        }
        a.compare(none);
        const Join j = join(a);
        for (const std::uint32_t root : a.root)
            parentIn(nodes[root]) = j.big;
        parentIn(nodes[none]) = none;
        sizes[j.big] = j.total;
        r.squares += 1 + j.squaresAdded;
        r.count = r.count + 1 - j.joined;
        r.maxSize = std::max(r.maxSize, j.total);
        sums.addAt(n, r.maxSize, r.squares, r.count);
    }
}

// The new site sits at the origin; each neighbour's root then lies at the neighbour's step less
// the neighbour's position relative to that root. Two neighbours in one cluster that place its
// root differently close a loop around the torus, in the direction(s) in which they differ.
template <typename Position>
std::array<std::int32_t, EventCount>
Sweep::State::runTorus(std::vector<TorusNode<Position>>& nodes, Totals& totals)
{
    const auto none = static_cast<std::uint32_t>(N);
    for (std::uint32_t s = 0; s <= none; ++s)
        nodes[s] = {none, {}};
    sizes[none] = 0;
    Sums sums(totals);
    std::int64_t vertical = N + 1;
    std::int64_t horizontal = N + 1;
    std::uint32_t maxSize = 0;
    std::uint64_t squares = 0;
    std::uint32_t count = 0;
    const Position steps[4] = {Position::step(-1, 0), Position::step(1, 0), Position::step(0, -1),
                               Position::step(0, 1)};
    const std::uint32_t* const sequence = order.data();
    const std::size_t sites = order.size();
    std::size_t n = 1;
    for (; n <= sites && (vertical > N || horizontal > N); ++n) {
        if (prefetching)
            prefetch(nodes, n - 1);
        const std::uint32_t packed = sequence[n - 1];
        const std::uint32_t site = index(packed);
        std::uint32_t nb[4];
        neighbours(packed, nb);
        Around a;
        a.root[4] = site;
        Position placed[5]; // of each neighbour's root, and of the site
        placed[4] = {};
        for (int k = 0; k < 4; ++k) {
            Position offset;
            a.root[k] = find(nodes.data(), nb[k], offset);
            a.size[k] = sizes[a.root[k]];
            placed[k] = steps[k] - offset;
        }
        a.compare(none);
        // Loops around the torus are closed rarely: the directions are read only when one is.
        bool closed = false;
        for (int k = 1; k < 4; ++k)
            for (int j = 0; j < k; ++j)
                closed = closed | (a.same[j][k] & (placed[j] != placed[k]));
        if (__builtin_expect(closed, 0)) {
            bool wrapX = false;
            bool wrapY = false;
            for (int k = 1; k < 4; ++k)
                for (int j = 0; j < k; ++j) {
                    const Position d = placed[j] - placed[k];
                    wrapX = wrapX | (a.same[j][k] & d.wrapsX());
                    wrapY = wrapY | (a.same[j][k] & d.wrapsY());
                }
            const auto at = static_cast<std::int64_t>(n);
            vertical = pick(vertical > N && wrapY, at, vertical);
            horizontal = pick(horizontal > N && wrapX, at, horizontal);
        }
        const Join joined = join(a);
        // The big cluster stays where it is; the new site and the other roots move under it.
        const Position big = placed[joined.largestAt];
        for (int k = 0; k < 4; ++k)
            nodes[a.root[k]] = {joined.big, placed[k] - big};
        nodes[none] = {none, {}};
        nodes[joined.big] = {joined.big, {}};
        nodes[site] = {joined.big, Position{} - big};
        sizes[joined.big] = joined.total;
        squares += 1 + joined.squaresAdded;
        count = count + 1 - joined.joined;
        maxSize = std::max(maxSize, joined.total);
        sums.addAt(n, maxSize, squares, count);
    }
    runPlain(nodes, n, sums, {maxSize, squares, count});
    // On a 1 × 1 torus the lone site is its own neighbour both ways: it wraps at once.
    if (L == 1)
        vertical = horizontal = 1;
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
    s.sizes.resize(sites + 1);
    std::size_t nodeBytes = sizeof(std::uint32_t);
    if (boundary == Boundary::Open)
        s.parent.resize(sites + 1), s.edges.resize(sites + 1);
    else if (packedIsExact(L))
        s.packedTorus.resize(sites + 1), nodeBytes = sizeof(TorusNode<Packed>);
    else if (splitSmallIsExact(L))
        s.smallTorus.resize(sites + 1), nodeBytes = sizeof(TorusNode<Split<std::uint16_t>>);
    else
        s.torus.resize(sites + 1), nodeBytes = sizeof(TorusNode<Split<std::uint32_t>>);
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
    else if (packedIsExact(s.L))
        record.firstN = s.runTorus(s.packedTorus, totals);
    else if (splitSmallIsExact(s.L))
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
