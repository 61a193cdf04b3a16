#pragma once

#include "totals.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

// The accumulator file: the totals of one or more sizes, so that runs can be merged exactly.
//
// Layout of version 2 (all integers little-endian):
//   magic "PERCSTAT", u32 version (2), u32 number of sizes;
//   per size: i32 L, u8 boundary (0 open, 1 torus), u8 lattice (0 square, 1 triangular,
//             2 honeycomb, 3 cubic), u8 model (0 site, 1 bond), u8 events per sample (the
//             geometry's eventCount()), u64 seed, u64 samples,
//             then for n = 0 … E (the geometry's elements()): u64 ΣS_max, u128 ΣS_max²,
//             u128 Σχ·N, u128 Σ(χ·N)², u64 Σclusters, u128 Σclusters²;
//             then per sample: u64 sample number, i32 first n of each event;
//             then u32 number of sections, and per section: four tag letters, u64 length,
//             and that many bytes (the one section so far, "SNAP", holds the snapshots of
//             snapshots.h: its layout is in totalsfile.cpp);
//   u64 FNV-1a checksum of everything before it.
// Version 1, which still reads (as square site percolation), had neither lattice, model nor
// event count (always 4) in a size's header, and no sections.
// Every size of a file has the same lattice, model, boundary and seed, and the sizes ascend,
// from 2 up to the lattice's largest L.
//
// Sections are the optional parts of a size's record, such as the sums of a later analysis: a
// section is added by an entry of the table in totalsfile.cpp (its tag, whether a totals has
// it, how its fields are written, and how they are read back and checked), Totals holds its
// fields and Totals::add adds them. A reader refuses any tag it does not know, so that no sum
// is ever dropped without a word.
namespace stats {

// Writes the file piece by piece, with little memory of its own.
void writeTotals(std::ostream& out, const std::vector<Totals>& sizes);

// The length of the file writeTotals() writes for `samples` samples of each geometry, with
// snapshots at `snapshotAt` (none when empty).
double totalsFileBytes(const std::vector<Geometry>& sizes, double samples,
                       const std::vector<double>& snapshotAt);

// The bytes one size's snapshots at `snapshotAt` take in the file; in memory, their sums take
// as much, give or take the vectors' own few bytes.
double snapshotFileBytes(const Geometry& geometry, const std::vector<double>& snapshotAt);

// Reads a whole accumulator file from a seekable stream. Before anything is allocated, the
// header and every size's extent are checked against the stream's length and the checksum is
// verified; then every sum and event is checked to be possible. On a truncated, corrupt,
// forged or unknown file returns false, leaves `sizes` alone and sets `error` to a one-line
// reason.
bool readTotals(std::istream& in, std::vector<Totals>& sizes, std::string& error);

} // namespace stats
