// BOMReader: the installed paths recorded in an installer's bill-of-materials ("BOMStore") file.
//
// A defensive reader over bytes already in memory (the caller reads or maps the file). It never
// throws and never reads outside the data: any inconsistency (a wrong magic, a short header, a
// block table larger than the file, a variables count outside 1 … 99,999, a missing or bad
// "Paths" tree, invalid block indices, truncated nodes or entries, broken or cyclic parent
// chains, names that would leave their folder) only makes the result shorter, down to empty.
//
// Bounds on crafted input: the tree walk visits each node once, pushes at most 4 n + 16 node
// indices (n blocks), and reads no more entry and name bytes than the file holds, which a file
// whose blocks don't overlap never exceeds. A path is built from at most 4,096 records; a
// path longer than 1,024 bytes (PATH_MAX on a Mac: nothing there can be named by it) is left
// out. Path building remembers each identifier's result, so the cost stays linear in the
// number of records. Overlapping blocks let a small file name the same long parent path for
// millions of records, so the joined paths together may hold at most kPathBytesPerFileByte
// times the file's size (and never more than kMaxTotalPathBytes): a file whose paths would
// pass that is not read at all, as a damaged one.
// Pure and thread-safe; blocks only for the CPU work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/leftovers/BOMEntry.h"

namespace veldo::leftovers::BOMReader {

// Most variables the table may declare; more (or none) means the file is not read.
inline constexpr std::uint32_t kMaxVariables = 99'999;
// Most records on one path, the path's own record included.
inline constexpr int kMaxPathRecords = 4'096;
// Longest path, in UTF-8 bytes, that is returned.
inline constexpr std::size_t kMaxPathBytes = 1'024;
// Most bytes all returned paths may hold together, per byte of the file and in all. A sound
// installer's file holds its paths in well under twice its own size.
inline constexpr std::size_t kPathBytesPerFileByte = 8;
inline constexpr std::size_t kMaxTotalPathBytes = std::size_t{512} << 20;

// Every path of the file's "Paths" tree, with whether it is a file, in ascending order of the
// path identifiers the file gives them. Empty when the file can't be read at all or its paths
// would pass the bound above.
std::vector<BOMEntry> entries(std::string_view bytes);

} // namespace veldo::leftovers::BOMReader
