// Writing a whole file atomically: the old file stays whole, or the new one is there whole.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include <sys/types.h>

#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::platform {

// How far an atomic write has gone when it answers.
enum class AtomicDurability
{
    // The new file's bytes and its name are on the disk: the file is flushed before the rename,
    // the folder after it.
    flushed,
    // Every process sees the new file whole at once (a process killed later loses nothing), but
    // nothing is flushed: the disk gets it when the system writes it back, or at a later flush of
    // the file, its folder or its file system. An earlier regular file is replaced by exchanging
    // the two names (renameat2 RENAME_EXCHANGE) and then deleting the earlier one, so that
    // replacing it does not start writing the new file back at once as a plain rename over it
    // does on ext4; anything else at the name, and file systems without the exchange, get the
    // plain rename.
    unflushed,
};

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
// is one entry name, EINVAL when it is empty, "." or "..", or holds '/' or NUL. With `unflushed`
// nothing is flushed (see AtomicDurability); a process killed between the exchange and the
// deletion leaves the earlier file under the temporary name. Errors carry no path; callers add
// theirs. Blocks on the disk; thread-safe.
Result<void> writeFileAtomicallyAt(int folder, std::string_view name, std::string_view bytes,
                                   mode_t mode,
                                   AtomicDurability durability = AtomicDurability::flushed);
// The same for the file made of `pieces`, one after the other (written with writev).
Result<void> writeFileAtomicallyAt(int folder, std::string_view name,
                                   std::span<const std::string_view> pieces, mode_t mode,
                                   AtomicDurability durability = AtomicDurability::flushed);

// The name whose interrupted atomic write left the entry `entry` behind in its folder (the
// temporary files are named "." + name + ".tmp-" + six random characters); none for any other
// entry.
std::optional<std::string_view> atomicWriteTarget(std::string_view entry);

// Writes all of `bytes` to `fd`, retrying short writes and EINTR.
Result<void> writeAll(int fd, std::string_view bytes);
// Writes all of `pieces` to `fd`, one after the other, retrying short writes and EINTR.
Result<void> writeAll(int fd, std::span<const std::string_view> pieces);

} // namespace veldo::platform
