// The App Management denial check: whether a failed Trash move of an app bundle was refused by
// macOS's App Management protection although the user's own rights allow the move.
//
// The Trash executor asks it only for items of the application category whose move failed; a
// true answer sends the item to the App Management prompt instead of the administrator path.
// Reads the status and flags of the bundle and of its folder (links not followed) and the
// caller's credentials (platform/Credentials.h). Thread-safe, never throws; whatever cannot be
// determined answers false.
#pragma once

#include <optional>

#include "platform/MacPath.h"
#include "platform/SystemError.h"

namespace veldo::core {

// The outermost application bundle that contains `url` or is `url`: the standardised path up
// to its first component whose name ends in ".app" in any letter case. None when there is none.
std::optional<platform::MacPath> enclosingAppBundle(const platform::MacPath& url);

// Whether `error` is a not-permitted error: a POSIX EPERM; else, when it has an underlying
// error, whatever that one is (nothing else is looked at); else a Cocoa 513.
bool isNotPermittedError(const platform::SystemError& error);

// True only when `error` is a not-permitted error, `url` lies in an application bundle, neither
// that bundle nor its folder carries an immutable, append-only or restricted flag, and the
// owner, group and other bits (with the sticky bit of the folder) let the caller move the
// bundle; always true past the flags for root. Access control lists are not consulted.
bool isAppManagementDenial(const platform::SystemError& error, const platform::MacPath& url);

} // namespace veldo::core
