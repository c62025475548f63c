// The user's home folder as a Mac path.
#pragma once

#include <optional>
#include <string>

#include <sys/types.h>

#include "platform/MacPath.h"

namespace veldo::platform {

// The login name of the real user id, from the user database (never the environment).
std::optional<std::string> loginName(uid_t uid);

// The home folder of `uid`: inside a Mac root "/Users/<login name>"; with an empty root the
// user database's home. None when the user database has no such user.
std::optional<MacPath> homeDirectoryForUser(uid_t uid);

// The real user's home folder (getuid()); "/" when the user database has no entry.
MacPath homeDirectory();

} // namespace veldo::platform
