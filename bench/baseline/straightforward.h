#pragma once

#include <cstdint>

// The straightforward formulation of the model, step by step as it is defined, with nothing
// made faster: Schrage's serial 32-bit step, one deviate compared against p per site, and a
// breadth-first cluster pass over a copy of the site array with scratch arrays allocated on
// every call. The benchmarks measure the program against it and the tests prove that the program
// gives bit-identical results.
namespace straightforward {

// A generator of its own, so that it can run beside the program's one.
struct Generator
{
    std::int32_t state = 1;

    double next();
};

int occupySites(Generator& generator, double p, int* site, int* occupied, int L);

int findLargestCluster(const int* site, const int* occupied, int* largest, int nOccupied, int L);

} // namespace straightforward
