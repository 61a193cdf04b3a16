#pragma once

#include <array>
#include <cstdint>
#include <string>

// What a sweep runs on: a lattice, a model (sites or bonds occupied), a size and a boundary.
//
// Shapes, on coordinates 0 … L − 1 in each dimension:
//  - square: L × L, neighbours (x ± 1, y), (x, y ± 1);
//  - triangular: the square grid plus the diagonal (x + 1, y − 1) / (x − 1, y + 1), an L × L
//    rhombus;
//  - honeycomb: a brick wall, neighbours (x ± 1, y) and (x, y + 1) when x + y is even, else
//    (x, y − 1), on an L × L grid (even L on a torus, where the parities must meet);
//  - cubic: L × L × L, neighbours (x ± 1, y, z), (x, y ± 1, z), (x, y, z ± 1).
// The bonds are the lattice's edges, each once (on a torus of L ≤ 2 two edges may join the
// same pair of sites, and on L = 1 an edge may join a site to itself). With open boundaries a
// cluster spans dimension d when it holds sites at coordinate 0 and L − 1 in d; on a torus when
// it winds around d.
//
// Events, per sample the first occupation number at which each happens: event k < d is the
// spanning of dimension d − 1 − k (so in the plane 0 is vertical, top to bottom, and 1
// horizontal), event d "any" dimension, event d + 1 "all" of them (not necessarily by one
// cluster, which in the plane they always are).
namespace stats {

enum class Lattice { Square, Triangular, Honeycomb, Cubic };
enum class Model { Site, Bond };
enum class Boundary { Open, Torus };

inline constexpr std::array<Lattice, 4> Lattices{Lattice::Square, Lattice::Triangular,
                                                 Lattice::Honeycomb, Lattice::Cubic};
inline constexpr std::array<Model, 2> Models{Model::Site, Model::Bond};

inline constexpr int MaxDimensions = 3;
inline constexpr int MaxEventCount = MaxDimensions + 2;

constexpr int dimensionsOf(Lattice lattice)
{
    return lattice == Lattice::Cubic ? 3 : 2;
}

// Neighbours per site in the bulk.
constexpr int degreeOf(Lattice lattice)
{
    switch (lattice) {
    case Lattice::Square:
        return 4;
    case Lattice::Triangular:
    case Lattice::Cubic:
        return 6;
    case Lattice::Honeycomb:
        return 3;
    }
    return 0;
}

// The elements a sweep adds: sites, or bonds (each edge once).
constexpr std::int64_t elementsOf(Lattice lattice, Model model, std::int64_t L, Boundary boundary)
{
    const std::int64_t sites = lattice == Lattice::Cubic ? L * L * L : L * L;
    if (model == Model::Site)
        return sites;
    if (boundary == Boundary::Torus)
        return sites * degreeOf(lattice) / 2;
    const std::int64_t rows = L * (L - 1); // edges along one axis of an L × L grid
    switch (lattice) {
    case Lattice::Square:
        return 2 * rows;
    case Lattice::Triangular:
        return 2 * rows + (L - 1) * (L - 1);
    case Lattice::Honeycomb:
        return rows + rows / 2;
    case Lattice::Cubic:
        return 3 * L * rows;
    }
    return 0;
}

// The largest L a lattice and model allow: the first occupation number of an event, N + 1 when
// it never happens, must fit the 32-bit fields of the totals, and an element's coordinates its
// 32-bit code in the order of occupation (16 bits per coordinate for sites in the plane, 15 for
// bonds there with two bits for their direction, 10 in space with the same two).
constexpr int largestL(Lattice lattice, Model model)
{
    const int coded = dimensionsOf(lattice) == 3 ? 1 << 10
                      : model == Model::Bond     ? 1 << 15
                                                 : 1 << 16;
    int L = coded;
    while (elementsOf(lattice, model, L, Boundary::Torus) + 1 > 0x7fffffff ||
           elementsOf(lattice, model, L, Boundary::Open) + 1 > 0x7fffffff)
        --L;
    return L;
}

// The largest L any lattice allows (the square lattice's sites).
inline constexpr int LargestL = largestL(Lattice::Square, Model::Site);

struct Geometry
{
    Lattice lattice = Lattice::Square;
    Model model = Model::Site;
    int L = 0;
    Boundary boundary = Boundary::Open;

    int dimensions() const { return dimensionsOf(lattice); }
    std::int64_t sites() const { return elementsOf(lattice, Model::Site, L, boundary); }
    // What a sweep adds one at a time: n runs 0 … elements().
    std::int64_t elements() const { return elementsOf(lattice, model, L, boundary); }
    int eventCount() const { return dimensions() + 2; }
    int largestL() const { return stats::largestL(lattice, model); }
    // "" or one line saying why no sweep can run on this geometry.
    std::string check() const;

    friend bool operator==(const Geometry&, const Geometry&) = default;
};

const char* latticeName(Lattice lattice);    // "square", "triangular", "honeycomb", "cubic"
const char* modelName(Model model);          // "site", "bond"
const char* boundaryName(Boundary boundary); // "open", "torus"
// Reads a name as written above; false for anything else.
bool parseLattice(const std::string& text, Lattice& lattice);
bool parseModel(const std::string& text, Model& model);
// "vertical", "horizontal", "either", "both" in the plane; "z", "y", "x", "any", "all" in space.
const char* eventName(int dimensions, int event);

} // namespace stats
