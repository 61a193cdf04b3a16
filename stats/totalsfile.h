#pragma once

#include "totals.h"

#include <iosfwd>
#include <string>
#include <vector>

// The accumulator file: the totals of one or more sizes, so that runs can be merged exactly.
//
// Layout (all integers little-endian):
//   magic "PERCSTAT", u32 version (1), u32 number of sizes;
//   per size: i32 L, u8 boundary (0 open, 1 torus), u64 seed, u64 samples,
//             then for n = 0 … N: u64 ΣS_max, u128 ΣS_max², u128 Σχ·N, u128 Σ(χ·N)²,
//             u64 Σclusters, u128 Σclusters²;
//             then per sample: u64 sample number, i32 first n of each event;
//   u64 FNV-1a checksum of everything before it.
namespace stats {

void writeTotals(std::ostream& out, const std::vector<Totals>& sizes);

// Reads a whole accumulator file. On a truncated, corrupt or unknown file returns false and sets
// `error` to a one-line reason.
bool readTotals(std::istream& in, std::vector<Totals>& sizes, std::string& error);

} // namespace stats
