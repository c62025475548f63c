// HelperStateFiles: the file operations of the helper's state folder (move ledger, inventories,
// staging journal): folders made 0700, files written atomically and durably with mode 0600.
//
// Folders are Mac paths, opened inside the Mac root (platform::openInRoot: the kernel resolves
// their links inside it, so a folder turned into a link out of the root on the way cannot lead
// there); every operation on an entry then works relative to the folder's open descriptor, never
// follows a link at the entry, and retries EINTR. A folder or name holding NUL is refused
// (EINVAL where an error is answered). Folders made here are owned by root (user and group 0)
// when the process runs as root; files are owned by the process's effective user and group. Entry
// names are single components chosen by the callers (never from outside input). Nothing here keeps
// state or throws; all calls block on the file system and are thread-safe, though two writers of
// one name race as they would on any file system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::common::HelperStateFiles {

inline constexpr unsigned kFolderMode = 0700;
inline constexpr unsigned kFileMode = 0600;

// Makes `folder` and its missing parents, each new one with mode 0700, made relative to the
// descriptor of its parent. A folder that exists already counts as made and keeps its mode and
// owner. Fails when a folder cannot be made (ENOTDIR or EEXIST when something that is not a folder
// stands in the way, EINVAL for a relative folder).
Result<void> makeFolders(const platform::MacPath& folder);

// Sets the mode of the existing folder `folder` to 0700.
Result<void> tightenFolder(const platform::MacPath& folder);

// Writes `bytes` to `name` in `folder` atomically with mode 0600, through the platform's atomic
// writer working in the folder's descriptor (a hidden temporary name ending in ".tmp-" and random
// characters, so never in a record's extension; flushed to disk, renamed over `name`, the folder
// flushed). A reader sees the old file or the new one, never a part. On failure an existing
// `name` is left as it was and no temporary file remains.
Result<void> writeAtomically(const platform::MacPath& folder, std::string_view name,
                             std::string_view bytes);

// The whole regular file `name` in `folder`. Fails with ENOENT when there is no such entry (or
// no such folder), ELOOP for a symbolic link, EINVAL for anything but a regular file, EFBIG when
// it is larger than `maxBytes`, or the errno of the failing call.
Result<std::string> read(const platform::MacPath& folder, std::string_view name,
                         std::size_t maxBytes);

// Deletes the non-folder entry `name` from `folder` (ENOENT when there is none).
Result<void> remove(const platform::MacPath& folder, std::string_view name);

// Renames `from` to `to` within `folder`, never replacing an existing `to` (EEXIST then).
Result<void> renameWithoutReplacing(const platform::MacPath& folder, std::string_view from,
                                    std::string_view to);

// The names of the folder's entries (hidden ones included, no "." or ".."), in directory order.
// Creates nothing; ENOENT for a missing folder.
Result<std::vector<std::string>> list(const platform::MacPath& folder);

} // namespace veldo::common::HelperStateFiles
