// File flags of an entry, in the Mac's values (chflags(2): UF_IMMUTABLE, SF_APPEND, …).
//
// On Linux the flags come from FS_IOC_GETFLAGS (or, for links, special files and entries that
// can't be opened, from statx's attributes). Only two Linux flags have a Mac meaning and are
// translated: immutable becomes kSystemImmutableFlag and append-only becomes kSystemAppendFlag.
// Every other Linux bit is dropped: ext4 sets its extents bit (0x80000) on nearly every file,
// which is the Mac's restricted flag, so raw Linux bits are never compared with Mac values.
#pragma once

#include <cstdint>
#include <optional>

#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::platform {

inline constexpr std::uint32_t kUserImmutableFlag = 0x00000002;   // UF_IMMUTABLE
inline constexpr std::uint32_t kUserAppendFlag = 0x00000004;      // UF_APPEND
inline constexpr std::uint32_t kSystemImmutableFlag = 0x00020000; // SF_IMMUTABLE
inline constexpr std::uint32_t kSystemAppendFlag = 0x00040000;    // SF_APPEND
inline constexpr std::uint32_t kRestrictedFlag = 0x00080000;      // SF_RESTRICTED

// The Mac flags for the Linux inode flags `linuxFlags` (FS_*_FL values).
std::uint32_t macFlagsFromLinux(std::uint32_t linuxFlags);

// The Mac flags for statx's attributes `attributes` (STATX_ATTR_* values), already masked by
// the attributes the file system knows.
std::uint32_t macFlagsFromStatxAttributes(std::uint64_t attributes);

// The flags of the entry at `path` itself: the links of its parent folders are resolved inside
// the Mac root, a final symbolic link is not followed. Blocks on the file system; thread-safe.
// Fails with the errno of the status read (ENOENT for a missing entry).
Result<std::uint32_t> fileFlags(const MacPath& path);

namespace testing {
// Adds Mac flags that a Linux file system cannot store (user immutable, restricted, …) to what
// fileFlags reports for exactly `path`. Cleared whenever the Mac root changes.
void addFileFlags(const MacPath& path, std::uint32_t flags);
} // namespace testing

} // namespace veldo::platform
