#pragma once

#include "batch.h"
#include "geometry.h"
#include "totals.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <type_traits>

// The addition step of a Newman–Ziff sweep, written once for every lattice, model, boundary and
// position encoding: a new element finds the roots of the sites it touches (union–find with path
// halving), joins all distinct clusters among them under the largest (union by size), and
// updates the running S_max, Σs² and cluster count. A new site touches its neighbours and
// brings a cluster of its own, of size 1; a new bond touches its two ends, every site being a
// cluster from the start, and brings nothing of its own. Three policies fill it in:
//  - the lattice: what an element touches (up to MaxDegree sites), where they are, and the
//    step to each in the unwrapped plane or space (up to MaxDimensions), for sites or bonds;
//  - the frame, which detects the spanning events: open faces (the faces a cluster touches,
//    kept at its root) or torus positions (each site's displacement to its root, in one of
//    three encodings), with an event per dimension;
//  - the choice function `pick`, the conditional move or its portable form.
// Once every event has happened the frame is left alone and only sizes are joined.
// Invariants: a root is its own parent; empty sites point to one extra node, the empty root
// (none), of size 0, touching no face and at the origin, and the cells beyond an open
// lattice's faces to a root of size 0 per face, so that finding a root needs no test of
// occupation or of the edges and merging such a root changes nothing; they are roots again
// after every addition. Sizes and faces are read at roots only, each written when its site
// became a root. Every root but these is the root of exactly one cluster of occupied sites.
// M. E. J. Newman and R. M. Ziff, Phys. Rev. E 64, 016706 (2001).
namespace stats::kernel {

inline constexpr int MaxDegree = 6;
using stats::MaxDimensions;

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

// a when cond, else b, by masks alone, for the lattices' choices by parity or by a bond's
// direction, which are as random as the order of occupation.
[[gnu::always_inline]] inline std::uint32_t masked(bool cond, std::uint32_t a, std::uint32_t b)
{
    return b ^ ((a ^ b) & (0u - static_cast<std::uint32_t>(cond)));
}

// ---- Shapes -----------------------------------------------------------------------------------
// The steps from a site to its neighbours (in StepSets sets, chosen by the site), and from a
// bond's first end to its second in each of its Directions, with where bonds start.

// Indexed by int, as the loops over dimensions and neighbours count.
template <int D> struct Step
{
    int v[std::size_t{D}];
    constexpr int operator[](int d) const { return v[d]; }
};
template <int D> struct Coordinates
{
    std::uint32_t v[std::size_t{D}];
    constexpr std::uint32_t operator[](int d) const { return v[d]; }
    constexpr std::uint32_t& operator[](int d) { return v[d]; }
};

struct SquareShape
{
    static constexpr int Dimensions = 2;
    static constexpr int StepSets = 1;
    static constexpr int Degree = 4;
    static constexpr Step<2> Steps[StepSets][Degree] = {{{-1, 0}, {1, 0}, {0, -1}, {0, 1}}};
    static constexpr int Directions = 2;
    static constexpr Step<2> Forward[Directions] = {{1, 0}, {0, 1}};
    static constexpr bool FacesFromBorder = true;
    static int stepSet(const Coordinates<2>&) { return 0; }
    static bool bondFrom(const Coordinates<2>&, int) { return true; }
};

struct TriangularShape
{
    static constexpr int Dimensions = 2;
    static constexpr int StepSets = 1;
    static constexpr int Degree = 6;
    static constexpr Step<2> Steps[StepSets][Degree] = {
        {{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {1, -1}, {-1, 1}}};
    static constexpr int Directions = 3;
    static constexpr Step<2> Forward[Directions] = {{1, 0}, {0, 1}, {1, -1}};
    static constexpr bool FacesFromBorder = true;
    static int stepSet(const Coordinates<2>&) { return 0; }
    static bool bondFrom(const Coordinates<2>&, int) { return true; }
};

// A brick wall: the vertical neighbour is above a site of even x + y, below one of odd. A site
// of the first or last row whose vertical neighbour points inwards has no cell beyond that face
// among its neighbours, so its faces are read from its coordinates (FacesFromBorder false).
struct HoneycombShape
{
    static constexpr int Dimensions = 2;
    static constexpr int StepSets = 2;
    static constexpr int Degree = 3;
    static constexpr Step<2> Steps[StepSets][Degree] = {{{-1, 0}, {1, 0}, {0, 1}},
                                                        {{-1, 0}, {1, 0}, {0, -1}}};
    static constexpr int Directions = 2;
    static constexpr Step<2> Forward[Directions] = {{1, 0}, {0, 1}};
    static constexpr bool FacesFromBorder = false;
    static int stepSet(const Coordinates<2>& c) { return static_cast<int>((c[0] + c[1]) & 1); }
    static bool bondFrom(const Coordinates<2>& c, int direction)
    {
        return direction == 0 || stepSet(c) == 0;
    }
};

struct CubicShape
{
    static constexpr int Dimensions = 3;
    static constexpr int StepSets = 1;
    static constexpr int Degree = 6;
    static constexpr Step<3> Steps[StepSets][Degree] = {
        {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}}};
    static constexpr int Directions = 3;
    static constexpr Step<3> Forward[Directions] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    static constexpr bool FacesFromBorder = true;
    static int stepSet(const Coordinates<3>&) { return 0; }
    static bool bondFrom(const Coordinates<3>&, int) { return true; }
};

// ---- Grids: where each site's union–find node is ---------------------------------------------

// With open faces the sites lie in a grid of (L + 2)^D cells whose border cells are beyond the
// faces. Each border cell points to the root of its face, a root of size 0 that touches that
// face only, so that a new site learns which faces it lies on from its neighbours' roots, as it
// learns the faces of the clusters around it, and no neighbour needs a test of the edges. Face
// f = 2d + h is the low (h = 0) or high (h = 1) face of dimension d; its root is none + 1 + f.
// The cells at the border's edges and corners are never a neighbour through a face and stay
// empty.
template <int D> struct OpenGrid
{
    static constexpr bool Open = true;
    std::uint32_t L;
    std::uint32_t N; // sites
    std::uint32_t stride[std::size_t{D}];
    std::uint32_t none;

    explicit OpenGrid(std::uint32_t side) : L(side), N(1), none(1)
    {
        for (int d = 0; d < D; ++d) {
            stride[d] = none;
            none *= side + 2;
            N *= side;
        }
    }

    std::size_t nodeCount() const { return std::size_t{none} + 1 + 2 * D; }

    // The stride of dimension 0 is 1, which the compiler cannot know of a member.
    [[gnu::always_inline]] std::uint32_t strideOf(int d) const { return d == 0 ? 1 : stride[d]; }

    [[gnu::always_inline]] std::uint32_t index(const Coordinates<D>& c) const
    {
        std::uint32_t i = 0;
        for (int d = 0; d < D; ++d)
            i += (c[d] + 1) * strideOf(d);
        return i;
    }

    [[gnu::always_inline]] std::uint32_t neighbour(std::uint32_t i, const Coordinates<D>&,
                                                   const Step<D>& step) const
    {
        for (int d = 0; d < D; ++d)
            i += static_cast<std::uint32_t>(step[d]) * strideOf(d);
        return i;
    }

    // The faces a site lies on.
    unsigned faces(const Coordinates<D>& c) const
    {
        unsigned f = 0;
        for (int d = 0; d < D; ++d)
            f |= unsigned{c[d] == 0} << (2 * d) | unsigned{c[d] == L - 1} << (2 * d + 1);
        return f;
    }

    // Calls f(cell, face) for every border cell next to a site.
    template <typename F> void forEachBorder(F f) const
    {
        for (int d = 0; d < D; ++d)
            forEachOnFace(d, [&](std::uint32_t inner) {
                f(inner - stride[d], static_cast<std::uint32_t>(2 * d));
                f(inner + L * stride[d], static_cast<std::uint32_t>(2 * d + 1));
            });
    }

private:
    // Calls f(node) for the sites at coordinate 0 in dimension d.
    template <typename F> void forEachOnFace(int d, F f) const
    {
        const std::uint32_t count = N / L;
        for (std::uint32_t k = 0; k < count; ++k) {
            Coordinates<D> c{};
            std::uint32_t rest = k;
            for (int e = 0; e < D; ++e)
                if (e != d)
                    c[e] = rest % L, rest /= L;
            f(index(c));
        }
    }
};

// On the torus the sites are numbered x + L·y (+ L²·z), and index N is the empty root.
template <int D> struct TorusGrid
{
    static constexpr bool Open = false;
    std::uint32_t L;
    std::uint32_t N;
    std::uint32_t stride[std::size_t{D}];
    std::uint32_t none;

    explicit TorusGrid(std::uint32_t side) : L(side), N(1)
    {
        for (int d = 0; d < D; ++d) {
            stride[d] = N;
            N *= side;
        }
        none = N;
    }

    std::size_t nodeCount() const { return std::size_t{N} + 1; }

    [[gnu::always_inline]] std::uint32_t strideOf(int d) const { return d == 0 ? 1 : stride[d]; }

    [[gnu::always_inline]] std::uint32_t index(const Coordinates<D>& c) const
    {
        std::uint32_t i = 0;
        for (int d = 0; d < D; ++d)
            i += c[d] * strideOf(d);
        return i;
    }

    [[gnu::always_inline]] std::uint32_t neighbour(std::uint32_t i, const Coordinates<D>& c,
                                                   const Step<D>& step) const
    {
        for (int d = 0; d < D; ++d) {
            const std::uint32_t across = (L - 1) * strideOf(d);
            if (step[d] > 0)
                i = c[d] < L - 1 ? i + strideOf(d) : i - across;
            else if (step[d] < 0)
                i = c[d] > 0 ? i - strideOf(d) : i + across;
        }
        return i;
    }
};

// ---- Lattices: elements, and what each touches -------------------------------------------------
// The order of occupation holds 32-bit codes: a site's coordinates, Bits each from the lowest;
// a bond's first end so, with its direction in the two highest bits.

template <int D, int Bits, bool Directed> struct Code
{
    static_assert(D * Bits <= (Directed ? 30 : 32));
    static constexpr std::uint32_t Mask = (std::uint32_t{1} << (Bits % 32)) - 1;

    static std::uint32_t of(const Coordinates<D>& c, int direction = 0)
    {
        std::uint32_t code = static_cast<std::uint32_t>(direction) << 30;
        for (int d = 0; d < D; ++d)
            code |= c[d] << (Bits * d);
        return code;
    }
    [[gnu::always_inline]] static Coordinates<D> site(std::uint32_t code)
    {
        Coordinates<D> c;
        for (int d = 0; d < D; ++d)
            // The highest field of a site fills the word and needs no mask.
            c[d] = !Directed && d == D - 1 ? code >> (Bits * d) : code >> (Bits * d) & Mask;
        return c;
    }
    [[gnu::always_inline]] static int direction(std::uint32_t code)
    {
        return static_cast<int>(code >> 30);
    }
};

// Calls f(coordinates) for every site, x fastest.
template <int D, typename F> void forEachSite(std::uint32_t L, F f)
{
    Coordinates<D> c{};
    for (;;) {
        f(c);
        int d = 0;
        while (d < D && ++c[d] == L)
            c[d++] = 0;
        if (d == D)
            return;
    }
}

// Site percolation: an element is a site, which touches its neighbours.
template <typename Shape, template <int> class Grid> struct Sites
{
    static constexpr int Dimensions = Shape::Dimensions;
    static constexpr int Degree = Shape::Degree;
    static constexpr int StepSets = Shape::StepSets;
    static constexpr std::uint32_t Own = 1; // the size an element brings
    static constexpr const Step<Dimensions> (&Steps)[std::size_t{StepSets}][std::size_t{Degree}] =
        Shape::Steps;
    using Coding = Code<Dimensions, Dimensions == 2 ? 16 : 10, false>;

    Grid<Dimensions> grid;
    std::uint32_t N;
    std::uint32_t none;

    explicit Sites(std::uint32_t L) : grid(L), N(grid.N), none(grid.none) {}

    std::size_t nodeCount() const { return grid.nodeCount(); }
    std::size_t elementCount() const { return N; }

    template <typename F> void forEachElement(F f) const
    {
        forEachSite<Dimensions>(grid.L,
                                [&](const Coordinates<Dimensions>& c) { f(Coding::of(c)); });
    }

    [[gnu::always_inline]] std::uint32_t index(std::uint32_t code) const
    {
        return grid.index(Coding::site(code));
    }

    [[gnu::always_inline]] void neighbours(std::uint32_t code,
                                           std::uint32_t (&out)[std::size_t{Degree}]) const
    {
        const Coordinates<Dimensions> c = Coding::site(code);
        const std::uint32_t i = grid.index(c);
        for (int k = 0; k < Degree; ++k)
            out[k] = grid.neighbour(i, c, Steps[0][k]);
        if constexpr (StepSets == 2) {
            const bool second = Shape::stepSet(c) != 0;
            for (int k = 0; k < Degree; ++k)
                out[k] = masked(second, grid.neighbour(i, c, Steps[1][k]), out[k]);
        }
    }

    [[gnu::always_inline]] int stepSet(std::uint32_t code) const
    {
        return Shape::stepSet(Coding::site(code));
    }

    // The faces a new site lies on that its neighbours' roots do not tell.
    [[gnu::always_inline]] unsigned ownFaces(std::uint32_t code) const
    {
        if constexpr (Shape::FacesFromBorder)
            return 0;
        else
            return grid.faces(Coding::site(code));
    }
};

// Bond percolation: an element is a bond, which touches its two ends.
template <typename Shape, template <int> class Grid> struct Bonds
{
    static constexpr int Dimensions = Shape::Dimensions;
    static constexpr int Degree = 2;
    static constexpr int StepSets = Shape::Directions;
    static constexpr std::uint32_t Own = 0;
    using Coding = Code<Dimensions, Dimensions == 2 ? 15 : 10, true>;

    // From the first end to each end, per direction.
    struct StepTable
    {
        Step<Dimensions> s[std::size_t{StepSets}][std::size_t{Degree}];
        constexpr const Step<Dimensions>* operator[](int set) const { return s[set]; }
    };
    static constexpr StepTable Steps = [] {
        StepTable steps{};
        for (int k = 0; k < StepSets; ++k)
            steps.s[k][1] = Shape::Forward[k];
        return steps;
    }();

    Grid<Dimensions> grid;
    std::uint32_t N;
    std::uint32_t none;

    explicit Bonds(std::uint32_t L) : grid(L), N(grid.N), none(grid.none) {}

    std::size_t nodeCount() const { return grid.nodeCount(); }
    std::size_t elementCount() const
    {
        std::size_t count = 0;
        forEachElement([&](std::uint32_t) { ++count; });
        return count;
    }

    template <typename F> void forEachElement(F f) const
    {
        const std::uint32_t L = grid.L;
        forEachSite<Dimensions>(L, [&](const Coordinates<Dimensions>& c) {
            for (int k = 0; k < StepSets; ++k) {
                bool inside = Shape::bondFrom(c, k);
                for (int d = 0; d < Dimensions && Grid<Dimensions>::Open; ++d) {
                    const std::int64_t to = std::int64_t{c[d]} + Shape::Forward[k][d];
                    inside = inside && to >= 0 && to < L;
                }
                if (inside)
                    f(Coding::of(c, k));
            }
        });
    }

    [[gnu::always_inline]] std::uint32_t index(std::uint32_t) const { return none; }

    [[gnu::always_inline]] void neighbours(std::uint32_t code, std::uint32_t (&out)[2]) const
    {
        const Coordinates<Dimensions> c = Coding::site(code);
        const int direction = Coding::direction(code);
        const std::uint32_t i = grid.index(c);
        out[0] = i;
        out[1] = grid.neighbour(i, c, Shape::Forward[0]);
        for (int k = 1; k < StepSets; ++k)
            out[1] = masked(direction == k, grid.neighbour(i, c, Shape::Forward[k]), out[1]);
    }

    [[gnu::always_inline]] int stepSet(std::uint32_t code) const
    {
        return Coding::direction(code);
    }

    // Every site is a cluster from the start, holding its faces at its root.
    [[gnu::always_inline]] unsigned ownFaces(std::uint32_t) const { return 0; }
};

// ---- Torus positions --------------------------------------------------------------------------
// On the torus a site holds its position relative to its parent in the unwrapped plane or
// space; a root's is 0. The positions only serve to tell whether a loop's winding a around the
// torus is 0, from its extent a·L, and that extent is small: every union places the clusters it
// joins so that the new site (or the bond's ends) and the neighbour through which each is joined
// lie one lattice step apart, so a cluster's positions are its sites unwrapped along a spanning
// tree of it, and two of them differ per coordinate by at most the tree path between them, at
// most |C| − 1 steps of at most 1 each. A loop closed through a new element, that path and two
// steps, has |a·L| ≤ |C| + 1 ≤ N + 1 per coordinate, so |a| ≤ L^(d−1) on a d-dimensional torus
// of L ≥ 2 (|a| ≤ 2 for L = 1). This holds on every lattice here, whose steps change each
// coordinate by at most 1, and for sites and bonds alike.
//
// Split positions keep each coordinate modulo 2ᵏ: 0 < |a| ≤ L^(d−1) with a·L ≡ 0 (mod 2ᵏ)
// needs L^(d−1) · gcd(L, 2ᵏ) ≥ 2ᵏ. In the plane that is never so for k = 32 (L ≤ 46340), nor
// for k = 16 when L ≤ 255, odd, or with few factors 2 (600 = 8 · 75: 4800 < 65536); in space
// never for k = 32 (L ≤ 1024: 2²⁰ · 2¹⁰ < 2³²), nor for k = 16 when L² · gcd(L, 2¹⁶) < 2¹⁶ (odd
// L ≤ 255, twice an odd L ≤ 181, …).
template <typename Word, int D> struct Split
{
    // In space the 16-bit form holds a fourth word, always 0: records of 8 bytes rather than 6,
    // which GCC 12's loop vectoriser miscompiled (a table of steps came out wrong at -O3).
    static constexpr int Words = sizeof(Word) == 2 && D == 3 ? 4 : D;
    Word c[std::size_t{Words}];

    static Split step(const Step<D>& d)
    {
        Split s{};
        for (int k = 0; k < D; ++k)
            s.c[k] = static_cast<Word>(d[k]);
        return s;
    }
    friend Split operator+(Split a, Split b)
    {
        for (int k = 0; k < Words; ++k)
            a.c[k] = static_cast<Word>(a.c[k] + b.c[k]);
        return a;
    }
    friend Split operator-(Split a, Split b)
    {
        for (int k = 0; k < Words; ++k)
            a.c[k] = static_cast<Word>(a.c[k] - b.c[k]);
        return a;
    }
    friend bool operator!=(Split a, Split b)
    {
        Word differ = 0;
        for (int k = 0; k < Words; ++k)
            differ = static_cast<Word>(differ | (a.c[k] ^ b.c[k]));
        return differ != 0;
    }
    // Of a difference of two placements: whether it winds around dimension d.
    bool wraps(int d) const { return c[d] != 0; }
    static bool exact(int L)
    {
        if (sizeof(Word) >= 4)
            return true;
        std::int64_t most = 1; // L^(D−1)
        for (int k = 1; k < D; ++k)
            most *= L;
        return most * std::gcd(L, 1 << 16) < (1 << 16);
    }
};

// Packed positions, in the plane only, keep x + 2¹⁶·y modulo 2³², one addition for both. When
// N + 1 = L² + 1 < 2¹⁵ the x of a loop's extent is its low half read as signed, exactly, and
// what is left is 2¹⁶·y, with |y| < 2¹⁶. (In space three fields would need 64 bits.)
struct Packed
{
    std::uint32_t v;

    static Packed step(const Step<2>& d)
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

template <typename Position> struct DimensionsOf;
template <typename Word, int D> struct DimensionsOf<Split<Word, D>>
{
    static constexpr int value = D;
};
template <> struct DimensionsOf<Packed>
{
    static constexpr int value = 2;
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

// ---- The clusters around a new element --------------------------------------------------------

// The roots of the sites a new element touches, then the new site itself (the empty root for a
// bond), and the touched clusters' sizes: the element joins all distinct clusters among them at
// once. (Setting a root's size to 0 as it is read would spare the comparisons of roots, but the
// stores it adds, to addresses known late, cost more than the comparisons.)
template <int Degree> struct Around
{
    std::uint32_t root[std::size_t{Degree} + 1];
    std::uint32_t size[std::size_t{Degree}];
};

// What joining the clusters around a new element changes: the sums are exact rearrangements of
// adding 2·a·b to Σs² and removing one cluster for every pair merged in turn.
struct Join
{
    std::uint32_t big;   // the largest cluster's root, or the new site
    std::uint32_t total; // the size of the joined cluster
    int largestAt;       // which touched site leads to big, or Degree for the new site
    std::uint64_t squaresAdded;
    std::uint32_t joined; // how many clusters the new element joins
};

// Own: the size the element brings, 1 for a site, 0 for a bond.
template <std::uint32_t Own, int Degree>
[[gnu::always_inline]] inline Join join(const Around<Degree>& a)
{
    static_assert(Degree < 8);
    Join j{0, 0, Degree, 0, 0};
    std::uint64_t sum = 0;
    std::uint64_t squares = 0;
    // Size and neighbour in one key, whose maximum names the largest cluster; the site itself,
    // of no size yet, wins only when no neighbour is occupied (never for a bond, whose ends
    // always are).
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
    j.total = static_cast<std::uint32_t>(Own + sum);
    j.squaresAdded = Own * (2 * sum + 1) + sum * sum - squares;
    return j;
}

// The running values of one sample, and the first n of each event per dimension (E + 1 for
// not yet).
template <int Dimensions> struct Running
{
    std::uint32_t maxSize = 0;
    std::uint64_t squares = 0;
    std::uint32_t count = 0;
    std::int64_t first[std::size_t{Dimensions}];
    // Bit 2d while dimension d's event is still to come: the events' tests are then rare
    // branches, taken once per dimension and sample.
    unsigned waiting = 0;

    void happened(unsigned events, std::int64_t n)
    {
        for (int d = 0; d < Dimensions; ++d)
            if (events >> (2 * d) & 1)
                first[d] = n;
        waiting &= ~events;
    }

    // A new site adds one cluster and joins `joined` into it; a bond joins its ends' clusters.
    void after(const Join& j)
    {
        squares += j.squaresAdded;
        count = count + 1 - j.joined;
        maxSize = std::max(maxSize, j.total);
    }
};

// ---- Frames: how events are seen ------------------------------------------------------------

// Open faces: a cluster spans dimension d when it touches both of its faces.
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
    // The empty root and the faces' roots as they always are, put back in one block copy.
    std::array<Node, 1 + Faces> unchanged{};

    std::uint32_t& sizeOf(std::uint32_t root) const { return nodes[root].size; }

    void reset(const Lattice& lattice)
    {
        std::fill(nodes, nodes + lattice.nodeCount(), OpenNode{none, 0});
        faces[none] = 0;
        for (std::uint32_t f = 0; f < Faces; ++f) {
            nodes[none + 1 + f].parent = none + 1 + f;
            faces[none + 1 + f] = static_cast<std::uint8_t>(1u << f);
        }
        std::copy_n(nodes + none, unchanged.size(), unchanged.begin());
        lattice.grid.forEachBorder(
            [&](std::uint32_t cell, std::uint32_t f) { nodes[cell].parent = none + 1 + f; });
        if constexpr (Lattice::Own == 0)
            forEachSite<Lattice::Dimensions>(lattice.grid.L, [&](const auto& c) {
                const std::uint32_t i = lattice.grid.index(c);
                nodes[i] = {i, 1};
                faces[i] = static_cast<std::uint8_t>(lattice.grid.faces(c));
            });
    }

    // Once every event has happened the faces no longer matter: the border joins the empty
    // root.
    void finish()
    {
        for (std::uint32_t f = 0; f < Faces; ++f)
            nodes[none + 1 + f].parent = none;
    }

    [[gnu::always_inline]] void begin(const Lattice& lattice, std::uint32_t code, Local& l) const
    {
        l.touched = lattice.ownFaces(code);
    }

    [[gnu::always_inline]] std::uint32_t findRoot(std::uint32_t neighbour, int, Local& l) const
    {
        const std::uint32_t root = find(nodes, neighbour);
        l.touched |= faces[root]; // the empty root touches none, a face root its own
        return root;
    }

    template <bool Portable, int Degree, int Dimensions>
    [[gnu::always_inline]] void events(const Around<Degree>&, const Local& l, std::int64_t n,
                                       Running<Dimensions>& r) const
    {
        // Faces 2d and 2d + 1 both touched leave bit 2d.
        const unsigned spans = l.touched & l.touched >> 1 & r.waiting;
        if (__builtin_expect(spans != 0, 0))
            r.happened(spans, n);
    }

    template <int Degree>
    [[gnu::always_inline]] void relink(const Around<Degree>& a, const Join& j, const Local& l,
                                       std::uint32_t)
    {
        for (const std::uint32_t r : a.root)
            nodes[r].parent = j.big;
        std::copy(unchanged.begin(), unchanged.end(), nodes + none);
        faces[j.big] = static_cast<std::uint8_t>(l.touched);
    }
};

// Torus positions: the new site sits at the origin (a bond's first end does); each touched
// site's root then lies at the site's step less the site's position relative to that root. Two
// touched sites in one cluster that place its root differently close a loop around the torus,
// in the dimension(s) in which they differ.
template <typename Lattice, typename Position> struct TorusFrame
{
    using Node = TorusNode<Position>;
    static constexpr int Degree = Lattice::Degree;
    static constexpr int StepSets = Lattice::StepSets;
    static_assert(DimensionsOf<Position>::value == Lattice::Dimensions);
    struct Local
    {
        Position placed[std::size_t{Degree} + 1]; // of each touched site's root, and of the site
        const Position* steps;
    };

    static constexpr bool SizesApart = sizeof(Node) == 8;

    Node* nodes;
    std::uint32_t* sizes; // when they are kept apart
    std::uint32_t none;
    Position steps[std::size_t{StepSets}][std::size_t{Degree}];

    TorusFrame(Node* n, std::uint32_t* s, std::uint32_t empty) : nodes(n), sizes(s), none(empty)
    {
        for (int set = 0; set < StepSets; ++set)
            for (int k = 0; k < Degree; ++k)
                steps[set][k] = Position::step(Lattice::Steps[set][k]);
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
        if constexpr (Lattice::Own == 0)
            for (std::uint32_t i = 0; i < lattice.N; ++i) {
                nodes[i].parent = i;
                sizeOf(i) = 1;
            }
    }
    void finish() {}

    [[gnu::always_inline]] void begin(const Lattice& lattice, std::uint32_t code, Local& l) const
    {
        l.placed[Degree] = {};
        l.steps = steps[StepSets == 1 ? 0 : lattice.stepSet(code)];
    }

    [[gnu::always_inline]] std::uint32_t findRoot(std::uint32_t neighbour, int k, Local& l) const
    {
        Position offset;
        const std::uint32_t root = find(nodes, neighbour, offset);
        l.placed[k] = l.steps[k] - offset;
        return root;
    }

    template <bool Portable, int Dimensions>
    [[gnu::always_inline]] void events(const Around<Degree>& a, const Local& l, std::int64_t n,
                                       Running<Dimensions>& r) const
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
            unsigned wraps = 0; // bit 2d for dimension d
            for (int k = 1; k < Degree; ++k)
                for (int j = 0; j < k; ++j) {
                    const Position d = l.placed[j] - l.placed[k];
                    for (int dim = 0; dim < Dimensions; ++dim)
                        wraps |= unsigned{same[j][k] && d.wraps(dim)} << (2 * dim);
                }
            r.happened(wraps & r.waiting, n);
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
        if constexpr (Lattice::Own != 0)
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

// How many additions ahead the union–find entries of an element and what it touches are
// prefetched: far enough to hide a miss to memory, near enough that the lines are still cached
// when used. The touched sites' parents follow at half the distance, once those are cached.
inline constexpr std::size_t PrefetchDistance = 12;

struct Arrays
{
    const std::uint32_t* order; // the elements' codes in the order of occupation
    std::size_t elements;
    bool prefetching;
};

// Where a sweep pauses for its caller to look at the clusters: after the first at(k) elements,
// k = 0 … count() − 1 (ascending, each at most E), calling look(k, running values, sweeper).
struct NoPauses
{
    std::size_t count() const { return 0; }
    std::int64_t at(std::size_t) const { return 0; }
    template <typename Running, typename Sweeper>
    void look(std::size_t, const Running&, const Sweeper&)
    {
    }
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
        if (n + PrefetchDistance < a.elements) {
            const std::uint32_t code = a.order[n + PrefetchDistance];
            lattice.neighbours(code, around);
            if constexpr (Lattice::Own != 0)
                __builtin_prefetch(&frame.nodes[lattice.index(code)]);
            for (const std::uint32_t site : around)
                __builtin_prefetch(&frame.nodes[site]);
        }
        if (n + PrefetchDistance / 2 < a.elements) {
            lattice.neighbours(a.order[n + PrefetchDistance / 2], around);
            for (const std::uint32_t site : around) {
                __builtin_prefetch(&frame.nodes[parentIn(frame.nodes[site])]);
            }
        }
    }

    // One addition, n = 1 … E. Tracking: the events are still to be found; otherwise only the
    // sizes are joined.
    template <bool Tracking>
    [[gnu::always_inline]] void add(std::size_t n, Running<Dimensions>& r, Sums& sums)
    {
        const std::uint32_t none = lattice.none;
        if (a.prefetching)
            prefetch(n - 1);
        const std::uint32_t code = a.order[n - 1];
        const std::uint32_t site = lattice.index(code);
        std::uint32_t nb[std::size_t{Degree}];
        lattice.neighbours(code, nb);
        Around<Degree> around;
        around.root[Degree] = site;
        typename Frame::Local local;
        if constexpr (Tracking)
            frame.begin(lattice, code, local);
        for (int k = 0; k < Degree; ++k) {
            around.root[k] = Tracking ? frame.findRoot(nb[k], k, local) : find(frame.nodes, nb[k]);
            around.size[k] = frame.sizeOf(around.root[k]);
        }
        if constexpr (Tracking)
            frame.template events<Portable>(around, local, static_cast<std::int64_t>(n), r);
        const Join j = join<Lattice::Own>(around);
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

    // Calls f(size) for every cluster.
    template <typename F> void forEachCluster(F f) const
    {
        for (std::size_t i = 0; i < lattice.nodeCount(); ++i) {
            const auto node = static_cast<std::uint32_t>(i);
            if (parentIn(frame.nodes[i]) == node && frame.sizeOf(node) > 0)
                f(frame.sizeOf(node));
        }
    }

    // Adds the sample's values at every n to the batch and returns the first n of each event
    // (E + 1 for never), per dimension.
    template <typename Pauses>
    [[gnu::noinline]] Running<Dimensions> run(Batch& batch, Totals& totals, Pauses& pauses)
    {
        const auto E = static_cast<std::int64_t>(a.elements);
        frame.reset(lattice);
        Sums sums{batch.slots(), totals.sumChiSquared.data()};
        Running<Dimensions> r;
        if constexpr (Lattice::Own == 0) {
            r.maxSize = lattice.N > 0 ? 1 : 0;
            r.squares = lattice.N;
            r.count = lattice.N;
        }
        std::fill(r.first, r.first + Dimensions, E + 1);
        for (int d = 0; d < Dimensions; ++d)
            r.waiting |= 1u << (2 * d);
        sums.addAt(0, r.maxSize, r.squares, r.count);
        auto pending = [](const Running<Dimensions>& values) { return values.waiting != 0; };
        std::size_t n = 1;
        bool tracking = true;
        auto upTo = [&](std::size_t last) {
            // The additions work on copies, which the compiler keeps in registers: the count and
            // the running values, reached through references, might share memory with the
            // sums' 64-bit words for all it knows, and would be stored and reloaded every time.
            Sweeper self = *this;
            Running<Dimensions> values = r;
            Sums at = sums;
            std::size_t m = n;
            if (tracking) {
                for (; m <= last && pending(values); ++m)
                    self.template add<true>(m, values, at);
                if (!pending(values)) {
                    frame.finish();
                    tracking = false;
                }
            }
            for (; m <= last; ++m)
                self.template add<false>(m, values, at);
            n = m;
            r = values;
        };
        for (std::size_t k = 0; k < pauses.count(); ++k) {
            upTo(static_cast<std::size_t>(pauses.at(k)));
            pauses.look(k, r, *this);
        }
        upTo(a.elements);
        return r;
    }
};

} // namespace stats::kernel
