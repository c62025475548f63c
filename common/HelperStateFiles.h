// HelperStateFiles: the file operations of the helper's state folder (move ledger, inventories,
// staging journal): folders made 0700, files written atomically with mode 0600, flushed to disk
// or not as the caller asks.
//
// Folders are Mac paths, opened inside the Mac root (platform::openInRoot: the kernel resolves
// their links inside it, so a folder turned into a link out of the root on the way cannot lead
// there); every operation on an entry then works relative to the folder's open descriptor, never
// follows a link at the entry, and retries EINTR. A folder or name holding NUL is refused
// (EINVAL where an error is answered). Folders made here are owned by root (user and group 0)
// when the process runs as root; files are owned by the process's effective user and group. Entry
// names are single components chosen by the callers (never from outside input). Nothing here keeps
// state or throws (but a Folder, which holds one descriptor); all calls block on the file system
// and are thread-safe, though two writers of one name race as they would on any file system.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "base/UniqueFd.h"
#include "platform/AtomicFile.h"
#include "platform/MacPath.h"

namespace veldo::common::HelperStateFiles {

inline constexpr unsigned kFolderMode = 0700;
inline constexpr unsigned kFileMode = 0600;

using platform::AtomicDurability;

// One folder of the state folder kept open for a run of operations (one request's), so that each
// of them does not walk from the root again. open() makes it, with its missing parents, as
// makeFolders does, and opens it, the first time and again whenever the folder it holds has
// been removed since (no link left to it); close() lets it go. Not thread-safe.
class Folder final
{
public:
    explicit Folder(platform::MacPath path) : m_path(std::move(path)) {}

    const platform::MacPath& path() const { return m_path; }

    // The folder's descriptor (readable, so that it can be listed and flushed), valid until the
    // next open(), openExisting() or close().
    Result<int> open();
    // The same without making anything: ENOENT when the folder doesn't exist.
    Result<int> openExisting();
    void close() { m_fd.reset(); }

private:
    bool holdsFolder() const;

    platform::MacPath m_path;
    UniqueFd m_fd;
};

// Makes `folder` and its missing parents, each new one with mode 0700, made relative to the
// descriptor of its parent. A folder that exists already counts as made and keeps its mode and
// owner. Fails when a folder cannot be made (ENOTDIR or EEXIST when something that is not a folder
// stands in the way, EINVAL for a relative folder).
Result<void> makeFolders(const platform::MacPath& folder);

// Sets the mode of the existing folder `folder` to 0700.
Result<void> tightenFolder(const platform::MacPath& folder);

// Writes `bytes` to `name` in `folder` atomically with mode 0600, through the platform's atomic
// writer working in the folder's descriptor (a hidden temporary name ending in ".tmp-" and random
// characters, so never in a record's extension; renamed over `name`; flushed to disk before the
// rename, with the folder after it, unless `durability` is unflushed). A reader sees the old file
// or the new one, never a part. On failure an existing `name` is left as it was and no temporary
// file remains.
Result<void> writeAtomically(const platform::MacPath& folder, std::string_view name,
                             std::string_view bytes,
                             AtomicDurability durability = AtomicDurability::flushed);
Result<void> writeAtomically(Folder& folder, std::string_view name, std::string_view bytes,
                             AtomicDurability durability = AtomicDurability::flushed);
// The same for the file made of `pieces`, one after the other.
Result<void> writeAtomically(Folder& folder, std::string_view name,
                             std::span<const std::string_view> pieces,
                             AtomicDurability durability = AtomicDurability::flushed);

// Flushes the file `name` of `folder` to disk (its bytes and status, not its name).
Result<void> flushFile(Folder& folder, std::string_view name);

// Flushes the folder's own entries to disk (the names made, renamed or deleted in it).
Result<void> flushFolder(Folder& folder);

// Flushes everything written on the file system that holds `folder` (syncfs): one flush for many
// files written unflushed.
Result<void> flushFileSystem(Folder& folder);

// Makes `to` in `folder` a second name of the file `from` (a hard link), replacing nothing: EEXIST
// when `to` exists, ENOENT when `from` doesn't.
Result<void> link(Folder& folder, std::string_view from, std::string_view to);

// The whole regular file `name` in `folder`. Fails with ENOENT when there is no such entry (or
// no such folder), ELOOP for a symbolic link, EINVAL for anything but a regular file, EFBIG when
// it is larger than `maxBytes`, or the errno of the failing call.
Result<std::string> read(const platform::MacPath& folder, std::string_view name,
                         std::size_t maxBytes);

// Deletes the non-folder entry `name` from `folder` (ENOENT when there is none).
Result<void> remove(const platform::MacPath& folder, std::string_view name);
Result<void> remove(Folder& folder, std::string_view name);

// Renames `from` to `to` within `folder`, never replacing an existing `to` (EEXIST then).
Result<void> renameWithoutReplacing(const platform::MacPath& folder, std::string_view from,
                                    std::string_view to);

// The names of the folder's entries (hidden ones included, no "." or ".."), in directory order.
// Creates nothing; ENOENT for a missing folder.
Result<std::vector<std::string>> list(const platform::MacPath& folder);

} // namespace veldo::common::HelperStateFiles
