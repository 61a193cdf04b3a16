#pragma once

#include "batch.h"
#include "totals.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <type_traits>

// The addition step of a Newman–Ziff sweep, written once for every boundary and position
// encoding: a new site finds the roots of its neighbours (union–find with path halving), joins
// all distinct clusters among them under the largest (union by size), and updates the running
// S_max, Σs² and cluster count. Three policies fill it in:
//  - the lattice: how many neighbours a site has (up to MaxDegree), where they are, and the
//    step to each in the unwrapped plane or space (up to MaxDimensions);
//  - the frame, which detects the spanning events: open edges (the faces a cluster touches,
//    kept at its root) or torus positions (each site's displacement to its root, in one of
//    three encodings), with an event per dimension;
//  - the choice function `pick`, the conditional move or its portable form.
// Once every event has happened the frame is left alone and only sizes are joined.
// Invariants: a root is its own parent; empty sites point to one extra node, the empty root
// (none), of size 0, touching no face and at the origin, and the cells beyond an open
// lattice's edges to a root of size 0 per face, so that finding a root needs no test of
// occupation or of the edges and merging such a root changes nothing; they are roots again
// after every addition. Sizes and faces are read at roots only, each written when its site
// became a root. Every root but these is the root of exactly one cluster of occupied sites.
// M. E. J. Newman and R. M. Ziff, Phys. Rev. E 64, 016706 (2001).
namespace stats::kernel {

inline constexpr int MaxDegree = 6;
inline constexpr int MaxDimensions = 3;

// a when cond, else b, without a branch: which neighbours are occupied, which roots coincide and
// which cluster is largest are close to coin tosses, and mispredicted branches on them once
// cost more than all the rest of an addition. GCC turns the plain forms back into branches
// here, so x86-64 gets its conditional move spelt out; Portable selects the plain form, which
// every other processor runs.
template <bool Portable, typename T> [[gnu::always_inline]] inline T pick(bool cond, T a, T b)
{
#if defined(__x86_64__)
    if constexpr (!Portable && (sizeof(T) == 4 || sizeof(T) == 8)) {
        __asm__("testb %2, %2\n\tcmovne %1, %0" : "+r"(b) : "rm"(a), "q"(cond) : "cc");
        return b;
    }
#endif
    using U = std::make_unsigned_t<T>;
    const U mask = U{0} - static_cast<U>(cond);
    return static_cast<T>((static_cast<U>(a) & mask) | (static_cast<U>(b) & ~mask));
}

// ---- Lattices ---------------------------------------------------------------------------------

// The L × L square lattice. The order of occupation lists its sites as y << 16 | x; a lattice
// names the node of each site (index) and of its neighbours, left, right, up, down, and the
// empty root (none), whose index is past every site's.
struct SquareSteps
{
    static constexpr int Degree = 4;
    static constexpr int Dimensions = 2;
    static constexpr int Step[Degree][Dimensions] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
};

// With open edges the sites lie in a grid of (L + 2)² cells whose border cells are beyond the
// edges. Each border cell points to the root of its face, a root of size 0 that touches that
// face only, so that a new site learns which faces it lies on from its neighbours' roots, as
// it learns the faces of the clusters around it, and no neighbour needs a test of the edges.
// Face f = 2d + h is the low (h = 0) or high (h = 1) face of dimension d; its root is
// none + 1 + f.
struct SquareOpen : SquareSteps
{
    std::uint32_t L;
    std::uint32_t N; // sites
    std::uint32_t width;
    std::uint32_t none;

    explicit SquareOpen(std::uint32_t side)
        : L(side), N(side * side), width(side + 2), none((side + 2) * (side + 2))
    {
    }

    std::size_t nodeCount() const { return std::size_t{none} + 1 + 2 * Dimensions; }
    std::uint32_t cell(std::uint32_t x, std::uint32_t y) const { return y * width + x; }

    [[gnu::always_inline]] std::uint32_t index(std::uint32_t packed) const
    {
        return cell((packed & 0xffffu) + 1, (packed >> 16) + 1);
    }

    [[gnu::always_inline]] void neighbours(std::uint32_t packed,
                                           std::uint32_t (&out)[Degree]) const
    {
        const std::uint32_t i = index(packed);
        out[0] = i - 1;
        out[1] = i + 1;
        out[2] = i - width;
        out[3] = i + width;
    }

    // Calls f(cell, face) for every border cell next to a site.
    template <typename F> void forEachBorder(F f) const
    {
        for (std::uint32_t k = 1; k <= L; ++k) {
            f(cell(0, k), 0);
            f(cell(L + 1, k), 1);
            f(cell(k, 0), 2);
            f(cell(k, L + 1), 3);
        }
    }
};

// On the torus the sites are numbered row by row, and index N is the empty root.
struct SquareTorus : SquareSteps
{
    std::uint32_t L;
    std::uint32_t N;
    std::uint32_t none;

    explicit SquareTorus(std::uint32_t side) : L(side), N(side * side), none(side * side) {}

    std::size_t nodeCount() const { return std::size_t{N} + 1; }

    [[gnu::always_inline]] std::uint32_t index(std::uint32_t packed) const
    {
        return (packed >> 16) * L + (packed & 0xffffu);
    }

    [[gnu::always_inline]] void neighbours(std::uint32_t packed,
                                           std::uint32_t (&out)[Degree]) const
    {
        const std::uint32_t x = packed & 0xffffu;
        const std::uint32_t y = packed >> 16;
        const std::uint32_t i = y * L + x;
        out[0] = x > 0 ? i - 1 : i + L - 1;
        out[1] = x < L - 1 ? i + 1 : i - L + 1;
        out[2] = y > 0 ? i - L : i + N - L;
        out[3] = y < L - 1 ? i + L : i - N + L;
    }
};

// ---- Torus positions --------------------------------------------------------------------------
// On the torus a site holds its position relative to its parent in the unwrapped plane; a
// root's is 0. The positions only serve to tell whether a loop's winding a around the torus is
// 0, from its extent a·L; a simple loop through at most L² + 1 sites has |a·L| ≤ L² + 1.
//
// Split positions keep each coordinate modulo 2ᵏ: 0 < |a| ≤ L with a·L ≡ 0 (mod 2ᵏ) needs
// L · gcd(L, 2ᵏ) ≥ 2ᵏ, never so for k = 32 (L ≤ 46340), nor for k = 16 when L ≤ 255, odd, or
// with few factors 2 (600 = 8 · 75: 4800 < 65536).
template <typename Word> struct Split
{
    Word x;
    Word y;

    static Split step(const int (&d)[2])
    {
        return {static_cast<Word>(d[0]), static_cast<Word>(d[1])};
    }
    friend Split operator+(Split a, Split b)
    {
        return {static_cast<Word>(a.x + b.x), static_cast<Word>(a.y + b.y)};
    }
    friend Split operator-(Split a, Split b)
    {
        return {static_cast<Word>(a.x - b.x), static_cast<Word>(a.y - b.y)};
    }
    friend bool operator!=(Split a, Split b) { return ((a.x ^ b.x) | (a.y ^ b.y)) != 0; }
    // Of a difference of two placements: whether it winds around dimension d.
    bool wraps(int d) const { return (d == 0 ? x : y) != 0; }
    static bool exact(int L)
    {
        return sizeof(Word) >= 4 || std::int64_t{L} * std::gcd(L, 1 << 16) < (1 << 16);
    }
};

// Packed positions keep x + 2¹⁶·y modulo 2³², one addition for both. When L² + 1 < 2¹⁵ the x
// of a loop's extent is its low half read as signed, exactly, and what is left is 2¹⁶·y, with
// |y| < 2¹⁶.
struct Packed
{
    std::uint32_t v;

    static Packed step(const int (&d)[2])
    {
        return {static_cast<std::uint32_t>(d[0]) + (static_cast<std::uint32_t>(d[1]) << 16)};
    }
    friend Packed operator+(Packed a, Packed b) { return {a.v + b.v}; }
    friend Packed operator-(Packed a, Packed b) { return {a.v - b.v}; }
    friend bool operator!=(Packed a, Packed b) { return a.v != b.v; }
    bool wraps(int d) const
    {
        const auto low = static_cast<std::uint16_t>(v);
        return d == 0 ? low != 0 : v != static_cast<std::uint32_t>(static_cast<std::int16_t>(low));
    }
    static bool exact(int L) { return std::int64_t{L} * L + 1 < (1 << 15); }
};

// A site's union–find record: its parent and, at a root, its cluster's size, in one place so
// that the load which finds a root also brings its size.
struct OpenNode
{
    std::uint32_t parent;
    std::uint32_t size;
};

template <typename Position> struct TorusNode
{
    std::uint32_t parent;
    Position offset;
    std::uint32_t size;
};
// Packed positions serve lattices small enough to stay cached, where records of 8 bytes beat
// records of 12: their sizes are kept apart.
template <> struct alignas(8) TorusNode<Packed>
{
    std::uint32_t parent;
    Packed offset;
};

template <typename Node> std::uint32_t& parentIn(Node& node)
{
    return node.parent;
}

// Path halving, first two steps without a branch: after halving nearly every path is that short.
// The deeper rest is walked in a loop of its own, out of the way of the common case.
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

// As find, adding up the position of j relative to its root.
template <typename Position>
[[gnu::noinline]] std::uint32_t findDeeper(TorusNode<Position>* nodes, std::uint32_t j,
                                           Position& offset)
{
    for (;;) {
        TorusNode<Position>& node = nodes[j];
        if (node.parent == j)
            return j;
        const TorusNode<Position>& up = nodes[node.parent];
        node.offset = node.offset + up.offset;
        node.parent = up.parent;
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
    nodes[j].parent = g;
    nodes[j].offset = offset;
    return __builtin_expect(nodes[g].parent == g, 1) ? g : findDeeper(nodes, g, offset);
}

// ---- The clusters around a new site ----------------------------------------------------------

// The roots of a new site's neighbours, then the site itself, and the neighbours' sizes: the
// site joins all distinct clusters among them at once. (Setting a root's size to 0 as it is
// read would spare the comparisons of roots, but the stores it adds, to addresses known late,
// cost more than the comparisons.)
template <int Degree> struct Around
{
    std::uint32_t root[std::size_t{Degree} + 1];
    std::uint32_t size[std::size_t{Degree}];
};

// What joining the clusters around a new site changes: the sums are exact rearrangements of
// adding 2·a·b to Σs² and removing one cluster for every pair merged in turn.
struct Join
{
    std::uint32_t big;   // the largest cluster's root, or the new site
    std::uint32_t total; // the size of the joined cluster
    int largestAt;       // which neighbour leads to big, or Degree for the site
    std::uint64_t squaresAdded;
    std::uint32_t joined; // how many clusters the new site joins
};

template <int Degree> [[gnu::always_inline]] inline Join join(const Around<Degree>& a)
{
    static_assert(Degree < 8);
    Join j{0, 0, Degree, 0, 0};
    std::uint64_t sum = 0;
    std::uint64_t squares = 0;
    // Size and neighbour in one key, whose maximum names the largest cluster; the site itself,
    // of no size yet, wins only when no neighbour is occupied.
    std::uint64_t largest = Degree;
    for (int k = 0; k < Degree; ++k) {
        // A cluster met before adds nothing, nor does the empty root, of size 0.
        bool repeated = false;
        for (int i = 0; i < k; ++i)
            repeated = repeated | (a.root[i] == a.root[k]);
        const std::uint32_t s = a.size[k] & (0u - static_cast<std::uint32_t>(!repeated));
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

// The running values of one sample, and the first n of each event per dimension (N + 1 for
// not yet).
template <int Dimensions> struct Running
{
    std::uint32_t maxSize = 0;
    std::uint64_t squares = 0;
    std::uint32_t count = 0;
    std::int64_t first[std::size_t{Dimensions}];

    void after(const Join& j)
    {
        squares += 1 + j.squaresAdded;
        count = count + 1 - j.joined;
        maxSize = std::max(maxSize, j.total);
    }
};

// ---- Frames: how events are seen ------------------------------------------------------------

// Open edges: a cluster spans dimension d when it touches both of its faces.
template <typename Lattice> struct OpenFrame
{
    using Node = OpenNode;
    struct Local
    {
        unsigned touched;
    };

    static constexpr std::uint32_t Faces = 2 * Lattice::Dimensions;

    Node* nodes;
    std::uint8_t* faces;
    std::uint32_t none;

    std::uint32_t& sizeOf(std::uint32_t root) const { return nodes[root].size; }

    void reset(const Lattice& lattice)
    {
        std::fill(nodes, nodes + lattice.nodeCount(), OpenNode{none, 0});
        faces[none] = 0;
        for (std::uint32_t f = 0; f < Faces; ++f) {
            nodes[none + 1 + f].parent = none + 1 + f;
            faces[none + 1 + f] = static_cast<std::uint8_t>(1u << f);
        }
        lattice.forEachBorder(
            [&](std::uint32_t cell, std::uint32_t f) { nodes[cell].parent = none + 1 + f; });
    }

    // Once every event has happened the faces no longer matter: the border joins the empty
    // root.
    void finish()
    {
        for (std::uint32_t f = 0; f < Faces; ++f)
            nodes[none + 1 + f].parent = none;
    }

    [[gnu::always_inline]] void begin(std::uint32_t, Local& l) const { l.touched = 0; }

    [[gnu::always_inline]] std::uint32_t findRoot(std::uint32_t neighbour, int, Local& l) const
    {
        const std::uint32_t root = find(nodes, neighbour);
        l.touched |= faces[root]; // the empty root touches none, a face root its own
        return root;
    }

    template <bool Portable, int Degree, int Dimensions>
    [[gnu::always_inline]] void events(const Around<Degree>&, const Local& l, std::int64_t n,
                                       std::int64_t N, Running<Dimensions>& r) const
    {
        for (int d = 0; d < Dimensions; ++d) {
            const unsigned both = 3u << (2 * d);
            r.first[d] =
                pick<Portable>(r.first[d] > N && (l.touched & both) == both, n, r.first[d]);
        }
    }

    template <int Degree>
    [[gnu::always_inline]] void relink(const Around<Degree>& a, const Join& j, const Local& l,
                                       std::uint32_t)
    {
        for (const std::uint32_t r : a.root)
            nodes[r].parent = j.big;
        for (std::uint32_t f = 0; f <= Faces; ++f)
            nodes[none + f].parent = none + f;
        faces[j.big] = static_cast<std::uint8_t>(l.touched);
    }
};

// Torus positions: the new site sits at the origin; each neighbour's root then lies at the
// neighbour's step less the neighbour's position relative to that root. Two neighbours in one
// cluster that place its root differently close a loop around the torus, in the dimension(s)
// in which they differ.
template <typename Lattice, typename Position> struct TorusFrame
{
    using Node = TorusNode<Position>;
    static constexpr int Degree = Lattice::Degree;
    struct Local
    {
        Position placed[std::size_t{Degree} + 1]; // of each neighbour's root, and of the site
    };

    static constexpr bool SizesApart = sizeof(Node) == 8;

    Node* nodes;
    std::uint32_t* sizes; // when they are kept apart
    std::uint32_t none;
    Position steps[std::size_t{Degree}];

    TorusFrame(Node* n, std::uint32_t* s, std::uint32_t empty) : nodes(n), sizes(s), none(empty)
    {
        for (int k = 0; k < Degree; ++k)
            steps[k] = Position::step(Lattice::Step[k]);
    }

    std::uint32_t& sizeOf(std::uint32_t root) const
    {
        if constexpr (SizesApart)
            return sizes[root];
        else
            return nodes[root].size;
    }

    void reset(const Lattice& lattice)
    {
        Node empty{};
        empty.parent = none;
        std::fill(nodes, nodes + lattice.nodeCount(), empty);
        sizeOf(none) = 0;
    }
    void finish() {}

    [[gnu::always_inline]] void begin(std::uint32_t, Local& l) const { l.placed[Degree] = {}; }

    [[gnu::always_inline]] std::uint32_t findRoot(std::uint32_t neighbour, int k, Local& l) const
    {
        Position offset;
        const std::uint32_t root = find(nodes, neighbour, offset);
        l.placed[k] = steps[k] - offset;
        return root;
    }

    template <bool Portable, int Dimensions>
    [[gnu::always_inline]] void events(const Around<Degree>& a, const Local& l, std::int64_t n,
                                       std::int64_t N, Running<Dimensions>& r) const
    {
        // Loops around the torus are closed rarely: the dimensions are read only when one is.
        bool same[std::size_t{Degree}][std::size_t{Degree}]; // [j][k], j < k: one cluster
        bool closed = false;
        for (int k = 1; k < Degree; ++k)
            for (int j = 0; j < k; ++j) {
                same[j][k] = (a.root[j] == a.root[k]) & (a.root[k] != none);
                closed = closed | (same[j][k] & (l.placed[j] != l.placed[k]));
            }
        if (__builtin_expect(closed, 0)) {
            bool wraps[std::size_t{Dimensions}] = {};
            for (int k = 1; k < Degree; ++k)
                for (int j = 0; j < k; ++j) {
                    const Position d = l.placed[j] - l.placed[k];
                    for (int dim = 0; dim < Dimensions; ++dim)
                        wraps[dim] = wraps[dim] | (same[j][k] & d.wraps(dim));
                }
            for (int d = 0; d < Dimensions; ++d)
                r.first[d] = pick<Portable>(r.first[d] > N && wraps[d], n, r.first[d]);
        }
    }

    // The big cluster stays where it is; the new site and the other roots move under it.
    [[gnu::always_inline]] void relink(const Around<Degree>& a, const Join& j, const Local& l,
                                       std::uint32_t site)
    {
        const Position big = l.placed[j.largestAt];
        auto place = [&](std::uint32_t i, std::uint32_t parent, Position offset) {
            nodes[i].parent = parent;
            nodes[i].offset = offset;
        };
        for (int k = 0; k < Degree; ++k)
            place(a.root[k], j.big, l.placed[k] - big);
        place(none, none, {});
        place(j.big, j.big, {});
        place(site, j.big, Position{} - big);
    }
};

// ---- The sweep --------------------------------------------------------------------------------

// Adds the values at n to the batch as they are found: the slots are walked in order, which
// the processor streams while the union–find work waits on its scattered loads. A rare large
// χ·N has its square added to the totals straight away.
struct Sums
{
    Batch::Slot* slots;
    UInt128* wideChiSquared;

    [[gnu::always_inline]] void addAt(std::size_t n, std::uint64_t largestSize,
                                      std::uint64_t squares, std::uint32_t clusterCount)
    {
        const std::uint64_t c = squares - largestSize * largestSize;
        Batch::Slot& slot = slots[n];
        slot.largest += static_cast<std::uint32_t>(largestSize);
        slot.clusters += clusterCount;
        slot.largestSquared += largestSize * largestSize;
        slot.clustersSquared += std::uint64_t{clusterCount} * clusterCount;
        slot.chi += c;
        if (__builtin_expect(c < Batch::NarrowChiBelow, 1))
            slot.chiSquared += c * c;
        else
            wideChiSquared[n] += UInt128{c} * c;
    }
};

// How many additions ahead the union–find entries of a site and its neighbours are prefetched:
// far enough to hide a miss to memory, near enough that the lines are still cached when used.
// The neighbours' parents follow at half the distance, once the neighbours are cached.
inline constexpr std::size_t PrefetchDistance = 12;

struct Arrays
{
    const std::uint32_t* order; // the sites in the order of occupation
    std::size_t sites;
    bool prefetching;
};

template <typename Lattice, typename Frame, bool Portable> struct Sweeper
{
    static constexpr int Degree = Lattice::Degree;
    static constexpr int Dimensions = Lattice::Dimensions;
    using Node = typename Frame::Node;

    Lattice lattice;
    Frame frame;
    Arrays a;

    // Forced inline: as a call of its own, a function of nothing but prefetches is judged free
    // of effects and dropped by the optimiser.
    [[gnu::always_inline]] void prefetch(std::size_t n) const
    {
        std::uint32_t around[std::size_t{Degree}];
        if (n + PrefetchDistance < a.sites) {
            const std::uint32_t packed = a.order[n + PrefetchDistance];
            lattice.neighbours(packed, around);
            __builtin_prefetch(&frame.nodes[lattice.index(packed)]);
            for (const std::uint32_t site : around)
                __builtin_prefetch(&frame.nodes[site]);
        }
        if (n + PrefetchDistance / 2 < a.sites) {
            lattice.neighbours(a.order[n + PrefetchDistance / 2], around);
            for (const std::uint32_t site : around) {
                __builtin_prefetch(&frame.nodes[parentIn(frame.nodes[site])]);
            }
        }
    }

    // One addition, n = 1 … N. Tracking: the events are still to be found; otherwise only the
    // sizes are joined.
    template <bool Tracking>
    [[gnu::always_inline]] void add(std::size_t n, Running<Dimensions>& r, Sums& sums)
    {
        const std::uint32_t none = lattice.none;
        if (a.prefetching)
            prefetch(n - 1);
        const std::uint32_t packed = a.order[n - 1];
        const std::uint32_t site = lattice.index(packed);
        std::uint32_t nb[std::size_t{Degree}];
        lattice.neighbours(packed, nb);
        Around<Degree> around;
        around.root[Degree] = site;
        typename Frame::Local local;
        if constexpr (Tracking)
            frame.begin(packed, local);
        for (int k = 0; k < Degree; ++k) {
            around.root[k] = Tracking ? frame.findRoot(nb[k], k, local) : find(frame.nodes, nb[k]);
            around.size[k] = frame.sizeOf(around.root[k]);
        }
        if constexpr (Tracking)
            frame.template events<Portable>(around, local, static_cast<std::int64_t>(n),
                                            std::int64_t{lattice.N}, r);
        const Join j = join(around);
        if constexpr (Tracking) {
            frame.relink(around, j, local, site);
        } else {
            for (const std::uint32_t root : around.root)
                parentIn(frame.nodes[root]) = j.big;
            parentIn(frame.nodes[none]) = none;
        }
        frame.sizeOf(j.big) = j.total;
        r.after(j);
        sums.addAt(n, r.maxSize, r.squares, r.count);
    }

    // Adds the sample's values at every n to the batch and returns the first n of each event
    // (N + 1 for never), per dimension.
    [[gnu::noinline]] Running<Dimensions> run(Batch& batch, Totals& totals)
    {
        const std::int64_t N = lattice.N;
        frame.reset(lattice);
        Sums sums{batch.slots(), totals.sumChiSquared.data()};
        Running<Dimensions> r;
        std::fill(r.first, r.first + Dimensions, N + 1);
        auto pending = [&] {
            bool any = false;
            for (int d = 0; d < Dimensions; ++d)
                any = any || r.first[d] > N;
            return any;
        };
        std::size_t n = 1;
        for (; n <= a.sites && pending(); ++n)
            add<true>(n, r, sums);
        frame.finish();
        for (; n <= a.sites; ++n)
            add<false>(n, r, sums);
        return r;
    }
};

} // namespace stats::kernel
