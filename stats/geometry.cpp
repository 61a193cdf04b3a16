#include "geometry.h"

namespace stats {

std::string Geometry::check() const
{
    const std::string name = std::string(latticeName(lattice)) + " " + modelName(model);
    if (L < 1 || L > largestL())
        return "L = " + std::to_string(L) + " is outside 1 … " + std::to_string(largestL()) +
               " for the " + name + " lattice";
    if (lattice == Lattice::Honeycomb && boundary == Boundary::Torus && L % 2 != 0)
        return "the honeycomb lattice on a torus needs an even L, not " + std::to_string(L);
    return {};
}

const char* latticeName(Lattice lattice)
{
    switch (lattice) {
    case Lattice::Square:
        return "square";
    case Lattice::Triangular:
        return "triangular";
    case Lattice::Honeycomb:
        return "honeycomb";
    case Lattice::Cubic:
        return "cubic";
    }
    return "";
}

const char* modelName(Model model)
{
    return model == Model::Bond ? "bond" : "site";
}

const char* boundaryName(Boundary boundary)
{
    return boundary == Boundary::Torus ? "torus" : "open";
}

bool parseLattice(const std::string& text, Lattice& lattice)
{
    for (const Lattice l : Lattices)
        if (text == latticeName(l)) {
            lattice = l;
            return true;
        }
    return false;
}

bool parseModel(const std::string& text, Model& model)
{
    for (const Model m : Models)
        if (text == modelName(m)) {
            model = m;
            return true;
        }
    return false;
}

const char* eventName(int dimensions, int event)
{
    static const char* const plane[] = {"vertical", "horizontal", "either", "both"};
    static const char* const space[] = {"z", "y", "x", "any", "all"};
    if (event < 0 || event >= dimensions + 2)
        return "";
    return dimensions == 3 ? space[event] : plane[event];
}

} // namespace stats
