// AdminRestorer: puts back, with root rights, the items an administrator move put in the user's
// Trash: through one administrator script (behind the system's password dialog) for the items
// the script moved.
//
// Every call blocks for as long as the password dialog stays open: call it from a worker thread,
// never the GUI thread. Nothing is kept between calls. Before the dialog each item is proven to be
// the one that was moved (device, inode, owner and group of the Trash entry) and its former
// folder the same folder (device, inode, owner), reached without any link; the script proves both
// again at each rename. Nothing is ever put back over an existing entry.
#pragma once

#include <stop_token>
#include <vector>

#include "app/removal/AdminRestoreResult.h"
#include "app/removal/RestorePoint.h"
#include "platform/MacPath.h"

namespace veldo::removal::AdminRemover {

inline constexpr std::string_view kCannotSafelyRestore = "Veldo can't safely put this item back.";
inline constexpr std::string_view kNoLongerInTrash = "It's no longer in the Trash.";

// The script restore for the Trash of `home`: refuses before the password dialog every point it
// can't prove, runs one clause per remaining point, and counts a point as restored only with its
// marker and its device and inode found again at its former path. No dialog when nothing is left.
RestoreResult runRestoreScript(const std::vector<RestorePoint>& points,
                               const platform::MacPath& home, std::stop_token stop = {});

} // namespace veldo::removal::AdminRemover
