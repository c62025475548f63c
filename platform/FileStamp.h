// FileStamp: what a reader saw of a file or folder (its identity and its times), so that a
// value made from it can later be kept only while the file or folder may not have changed.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/MacFileSystem.h"
#include "platform/MacPath.h"

namespace veldo::platform {

struct FileStamp
{
    bool present = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // Identity includes the birth time where the file system reports one: ext4 gives a freed
    // inode number to the next new file at once.
    std::optional<FileTime> birthTime;
    FileTime modified;
    // The status change time moves with every change, even one that sets the modification time
    // back; nothing but the clock sets it.
    FileTime changed;

    // The stamp of `path` now, links followed; not present when it can't be read.
    static FileStamp of(const MacPath& path);
    static FileStamp of(const FileStatus& status);

    // Whether a reading made at `readAt` (realTimeNanoseconds()) may miss a later change that
    // leaves this stamp as it is: file times come from a clock that moves in ticks (a jiffy on
    // Linux, whole seconds or two on some file systems), so a change soon after the last one
    // may carry the same times. True when the last change lies less than 100 ms before the
    // reading (2.1 s when the change time holds no fraction of a second), or after it (the
    // clock was set back). Never true for a stamp that is not present.
    bool isRacy(std::int64_t readAt) const;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// CLOCK_REALTIME in nanoseconds: the clock that file times are taken from.
std::int64_t realTimeNanoseconds();

} // namespace veldo::platform
