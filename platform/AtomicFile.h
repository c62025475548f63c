// Writing a whole file atomically: the old file stays whole, or the new one is there whole.
#pragma once

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
// the folder. Links in the parent folders are resolved inside the Mac root; a link at `path`
// itself is replaced, not followed. On failure nothing is left behind and `path` is unchanged.
Result<void> writeFileAtomically(const MacPath& path, std::string_view bytes,
                                 const AtomicWriteOptions& options = {});

// Writes all of `bytes` to `fd`, retrying short writes and EINTR.
Result<void> writeAll(int fd, std::string_view bytes);

} // namespace veldo::platform
