#pragma once

#include "totals.h"

#include <cstdint>
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
// Every size of a file has the same boundary and seed, and the sizes ascend, from 2 up to
// LargestL.
namespace stats {

// Writes the file piece by piece, with little memory of its own.
void writeTotals(std::ostream& out, const std::vector<Totals>& sizes);

// The length of the file writeTotals() writes for `samples` samples of each size in `Ls`.
double totalsFileBytes(const std::vector<int>& Ls, double samples);

// Reads a whole accumulator file from a seekable stream. Before anything is allocated, the
// header and every size's extent are checked against the stream's length and the checksum is
// verified; then every sum and event is checked to be possible. On a truncated, corrupt,
// forged or unknown file returns false, leaves `sizes` alone and sets `error` to a one-line
// reason.
bool readTotals(std::istream& in, std::vector<Totals>& sizes, std::string& error);

} // namespace stats
