// HelperStat: the status record of one file-system object, as the helper's file access reads it.
//
// Taken with statx, never following a link. `flags` holds macOS file-flag values: only the
// immutable and append-only states are carried over from Linux (platform/FileFlags translates
// them); every other Linux inode flag (ext4's extents bit included) is dropped, so the value can
// be compared with macOS flag masks.
#pragma once

#include <cstdint>
#include <optional>

#include <sys/stat.h>

#include "common/HelperFileIdentity.h"
#include "platform/MacFileSystem.h"

namespace veldo::common {

// The flags that comparisons look at: all but UF_COMPRESSED, UF_TRACKED and SF_DATALESS, which
// the system changes by itself.
inline constexpr std::uint32_t kComparedFlagsMask = 0xbfffff9f;

struct HelperStat
{
    std::int64_t device = 0; // st_dev
    std::uint64_t inode = 0;
    std::uint32_t mode = 0; // st_mode, file type bits included
    std::uint64_t links = 0;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::int64_t size = 0;
    std::uint32_t flags = 0; // macOS values, see above
    platform::FileTime modificationTime;
    platform::FileTime changeTime;
    std::optional<platform::FileTime> birthTime; // when the file system reports one

    bool isDirectory() const { return S_ISDIR(mode); }
    bool isRegularFile() const { return S_ISREG(mode); }
    bool isSymbolicLink() const { return S_ISLNK(mode); }

    HelperFileIdentity identity() const { return HelperFileIdentity{device, inode, birthTime}; }
};

} // namespace veldo::common
