// FolderRules: what the Trash mover may assume of a folder (or file) for its caller: whether the
// caller could search it, read and search it, whether it is another account's and read-only for
// the caller, whether a folder is open to others, and whether a name is an app bundle's.
//
// The rules look at the owner, the mode bits of the class the caller falls in (owner; else group
// when the caller is in the object's group; else other) and the extended ACL state (entries, or
// unreadable, fail every "closed" rule). Pure apart from isOpenToOthers, which reads the status
// and ACL of an open folder. Thread-safe.
#pragma once

#include <optional>
#include <string_view>

#include "common/HelperStat.h"
#include "helper/HelperCaller.h"

namespace veldo::helper::FolderRules {

// The caller may pass through the folder: its own with S_IXUSR; another's without ACL entries and
// with the search bit of the caller's class (group when the caller is in its group, else other).
bool callerCanSearch(const common::HelperStat& folder, std::optional<bool> aclState,
                     const HelperCaller& caller);

// The caller may list and search the folder: its own with S_IRUSR and S_IXUSR; another's without
// ACL entries and with read and search bits of the caller's class.
bool canReadAndSearch(const common::HelperStat& folder, std::optional<bool> aclState,
                      const HelperCaller& caller);

// Another account's folder the caller can read and search but not write: no ACL entries (readable
// ACL), neither S_IWGRP nor S_IWOTH, read and search bits of the caller's class.
bool isForeignReadOnlyFolder(const common::HelperStat& folder, std::optional<bool> aclState,
                             const HelperCaller& caller);

// The open folder is the caller's, writable by group or others, has ACL entries, or can't be
// checked (status or ACL unreadable).
bool isOpenToOthers(int folderFd, const HelperCaller& caller);

// The raw name (up to its first zero byte, UTF-8 repaired) has the extension "app", compared after
// canonical decomposition and case folding.
bool isAppBundleName(std::string_view rawName);

} // namespace veldo::helper::FolderRules
