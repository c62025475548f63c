// The per-user cache and temporary folders that macOS answers through confstr.
//
// darwinConfstr follows confstr's contract for the two Darwin names, so callers ask for the
// length first and then for the text. On Linux the folders are those of the Mac root: the "C/"
// and "T/" folders of the one folder /private/var/folders/<x>/<y> owned by the current user,
// written "/var/folders/<x>/<y>/C/" as macOS writes them. With an empty root, or when no such
// folder exists, there is no answer. Blocking (lists /private/var/folders), thread-safe.
#pragma once

#include <cstddef>

namespace veldo::platform {

inline constexpr int kCsDarwinUserTempDir = 65537;
inline constexpr int kCsDarwinUserCacheDir = 65538;

// Copies the value of `name` (with its terminating NUL, cut to fit `length`) into `buffer` when
// `buffer` is not null, and returns the length the whole value needs including the NUL. Returns
// 0 with errno EINVAL for any other name, and 0 with errno ENOENT when there is no folder.
std::size_t darwinConfstr(int name, char* buffer, std::size_t length);

} // namespace veldo::platform
