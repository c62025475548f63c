// AdminRestorer: puts back, with root rights, the items an administrator move put in the user's
// Trash: through the privileged helper daemon for the items it moved, and through one
// administrator script (behind the system's password dialog) for the items the script moved.
//
// Every call blocks (the script for as long as the password dialog stays open, the helper for up
// to its batch time-out): call it from a worker thread,
// never the GUI thread. Nothing is kept between calls. Before the dialog each item is proven to be
// the one that was moved (device, inode, owner and group of the Trash entry) and its former
// folder the same folder (device, inode, owner), reached without any link; the script proves both
// again at each rename. Nothing is ever put back over an existing entry.
#pragma once

#include <functional>
#include <stop_token>
#include <utility>
#include <vector>

#include "app/removal/AdminRestoreResult.h"
#include "app/removal/RestorePoint.h"
#include "platform/MacPath.h"

namespace veldo::removal::AdminRemover {

inline constexpr std::string_view kCannotSafelyRestore = "Veldo can't safely put this item back.";
inline constexpr std::string_view kNoLongerInTrash = "It's no longer in the Trash.";
inline constexpr std::string_view kHelperTryAgain = "Veldo's helper couldn't put this back right "
                                                    "now; it's still in the Trash. Try Undo again.";

// The restore of the points the script moved, given the script points.
using ScriptRestore = std::function<RestoreResult(const std::vector<RestorePoint>&)>;

// The entry: helper-moved points go back through the helper when it is usable (checked with the
// standard user defaults and the helper daemon's service) and get kHelperTryAgain when it is not
// or leaves them over; they never reach the script. The other points go to `scriptRestore` (not
// called when there are none). The script's restored ids follow the helper's; on a path both
// failed the script's sentence stays; cancelled as the script says.
RestoreResult restore(const std::vector<RestorePoint>& points, const ScriptRestore& scriptRestore,
                      std::stop_token stop = {});

// The points in input order: those the helper moved, then the others.
std::pair<std::vector<RestorePoint>, std::vector<RestorePoint>>
partitionByMover(const std::vector<RestorePoint>& points);

// The helper batch: the points in requests of at most as many items as the helper serves in one
// (see PrivilegedHelper::sendInRequests). Answers the result (never cancelled) and the points the
// helper did not settle. After an interrupted call a point counts as restored only
// when its item is at its former path and its Trash path is missing (ENOENT or ENOTDIR).
std::pair<RestoreResult, std::vector<RestorePoint>>
restoreWithHelper(const std::vector<RestorePoint>& points, std::stop_token stop = {});

// The script restore for the Trash of `home`: refuses before the password dialog every point it
// can't prove, runs one clause per remaining point, and counts a point as restored only with its
// marker and its device and inode found again at its former path. No dialog when nothing is left.
RestoreResult runRestoreScript(const std::vector<RestorePoint>& points,
                               const platform::MacPath& home, std::stop_token stop = {});

} // namespace veldo::removal::AdminRemover
