// Writing a whole file atomically: the old file stays whole, or the new one is there whole.
#pragma once

#include <optional>
#include <string_view>

#include <sys/types.h>

#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::platform {

struct AtomicWriteOptions
{
    mode_t mode = 0644;         // permissions of the new file
    bool createFolders = false; // make missing parent folders (0700)
};

// Writes `bytes` to a temporary file beside `path` (a hidden name ending in a random suffix,
// never in ".staging" or ".inventory"), flushes it to disk, renames it over `path` and flushes
// the folder. The parent folder is opened inside the Mac root (its links resolved inside it, see
// openInRoot) and everything after works relative to that descriptor; a link at `path` itself is
// replaced, not followed. On failure nothing is left behind and `path` is unchanged. EINVAL for
// a path holding NUL or one without a last name.
Result<void> writeFileAtomically(const MacPath& path, std::string_view bytes,
                                 const AtomicWriteOptions& options = {});

// The same inside the open folder `folder` (opened readable, so that it can be flushed): `name`
// is one entry name, EINVAL when it is empty, "." or "..", or holds '/' or NUL. Errors carry no
// path; callers add theirs. Blocks on the disk; thread-safe.
Result<void> writeFileAtomicallyAt(int folder, std::string_view name, std::string_view bytes,
                                   mode_t mode);

// The name whose interrupted atomic write left the entry `entry` behind in its folder (the
// temporary files are named "." + name + ".tmp-" + six random characters); none for any other
// entry.
std::optional<std::string_view> atomicWriteTarget(std::string_view entry);

// Writes all of `bytes` to `fd`, retrying short writes and EINTR.
Result<void> writeAll(int fd, std::string_view bytes);

} // namespace veldo::platform
