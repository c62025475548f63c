// How many bytes a file or a folder tree occupies on disk.
#pragma once

#include <cstdint>
#include <stop_token>

#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::core {

// The bytes allocated on disk (512-byte blocks × 512) for the item at the Mac path `path`.
//
// - A missing or unreadable path gives 0; nothing is reported.
// - A symbolic link is measured as the link itself, never its target (links in the parent
//   folders of `path` are resolved inside the Mac root). Any other item that is not a folder
//   gives its own blocks.
// - A folder gives the sum over the regular files of its whole tree: hidden files and packages
//   included, links not followed, folders, links and special files adding nothing of their own
//   (so the folder's own blocks are not counted). A file with several hard links inside the tree
//   counts once, at its first occurrence, by (device, inode); only files whose link count is
//   above 1 are remembered. Unreadable subfolders are skipped.
//
// Blocks for as long as the walk takes (descriptor-relative: a folder's entries are read with
// getdents and each file with fstatat, never re-opening by path); callers run it in background
// work. A tree of up to a few hundred entries is walked on the calling thread alone; in a larger
// one the calling thread hands opened subfolders to the process's SizeWalkPool, walks along and
// returns when every folder is counted. The answer is the same however the work was shared.
// Thread-safe (concurrent callers share the pool); holds at most a fixed number of descriptors
// however deep or wide the tree.
std::int64_t allocatedSize(const platform::MacPath& path);

// allocatedSize, stoppable: a stop requested through `stop` is noticed before each folder of
// the walk is read and fails the call with cancelled. An item that is no folder is measured
// whatever the token says.
Result<std::int64_t> allocatedSize(const platform::MacPath& path, std::stop_token stop);

} // namespace veldo::core
