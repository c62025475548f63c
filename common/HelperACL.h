// Access-control-list probes of the helper: whether an object has extended ACL entries, a
// fingerprint of them, and clearing them.
//
// Linux POSIX ACLs stand in for macOS extended ACLs: an object "has entries" when its access
// ACL holds more than the three base entries (owner, group, other; a mask entry counts as
// extended) or when it has a default ACL. The base entries alone mean no entries. Every call
// takes any descriptor kind (an O_PATH descriptor is read through its "/proc/self/fd/N" name),
// never follows a link, never throws, and blocks on the file system.
#pragma once

#include <cstdint>
#include <optional>

#include "base/Result.h"

namespace veldo::common {

// true: extended entries; false: none (also when the file system has no ACLs: ENOENT,
// EOPNOTSUPP or EINVAL); none: they could not be read.
std::optional<bool> extendedACLState(int fd);

// A 64-bit FNV-1a fingerprint of the external forms of the access and (for a folder) default
// ACLs: 0 when the object has no extended entries (or the file system no ACLs), never 0
// otherwise; none when the ACL could not be read, which is not the same as 0.
std::optional<std::uint64_t> aclDigest(int fd);

// Clears the extended entries: the access ACL becomes the three base entries (the owning
// group keeps only what it was effectively granted, group entry and mask together) and a
// folder's default ACL is removed. Both steps are tried; fails with the errno of the first that
// failed.
Result<void> installEmptyACL(int fd);

} // namespace veldo::common
