// HelperStateFiles: the file operations of the helper's state folder (move ledger, inventories,
// staging journal): folders made 0700, files written atomically and durably with mode 0600.
//
// Folders are Mac paths, reached through the Mac root with their links resolved inside it; every
// operation on an entry then works relative to the folder's open descriptor, never follows a
// link at the entry, and retries EINTR. When the process runs as root, every folder and file
// made here is owned by root (user and group 0); otherwise by the effective user. Entry names
// are single components chosen by the callers (never from outside input).
// Nothing here keeps state or throws; all calls block on the file system and are thread-safe,
// though two writers of one name race as they would on any file system.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "platform/MacPath.h"

namespace veldo::common::HelperStateFiles {

inline constexpr unsigned kFolderMode = 0700;
inline constexpr unsigned kFileMode = 0600;

// Makes `folder` and its missing parents, each new one with mode 0700. A folder that exists
// already counts as made and keeps its mode and owner. False when a folder cannot be made or
// something that is not a folder stands in the way.
bool makeFolders(const platform::MacPath& folder);

// Sets the mode of the existing folder `folder` to 0700; false when that fails.
bool tightenFolder(const platform::MacPath& folder);

// Writes `bytes` to `name` in `folder` atomically: a new temporary file in the same folder
// (a hidden name ending in ".tmp-" and random digits, so never in a record's extension),
// mode 0600, flushed to disk, renamed over `name`, then the folder flushed. A reader sees the old
// file or the new one, never a part. False on any failure, the temporary file then removed and
// an existing `name` left as it was (unless only the final flush of the folder failed: the new
// file is then in place, but not known to be on disk).
bool writeAtomically(const platform::MacPath& folder, std::string_view name,
                     std::string_view bytes);

// The whole regular file `name` in `folder`. Fails with ENOENT when there is no such entry (or
// no such folder), ELOOP for a symbolic link, EINVAL for anything but a regular file, EFBIG when
// it is larger than `maxBytes`, or the errno of the failing call.
Result<std::string> read(const platform::MacPath& folder, std::string_view name,
                         std::size_t maxBytes);

// Deletes the non-folder entry `name` from `folder`; every failure (a missing entry included)
// is ignored.
void remove(const platform::MacPath& folder, std::string_view name);

// Renames `from` to `to` within `folder`, never replacing an existing `to` (EEXIST then).
Result<void> renameWithoutReplacing(const platform::MacPath& folder, std::string_view from,
                                    std::string_view to);

// The names of the folder's entries (hidden ones included, no "." or ".."), in directory order;
// none when the folder cannot be listed (a missing folder included). Creates nothing.
std::optional<std::vector<std::string>> list(const platform::MacPath& folder);

} // namespace veldo::common::HelperStateFiles
