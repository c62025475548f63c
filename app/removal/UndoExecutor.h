// UndoExecutor: puts the items of the last cleanup back where they were.
//
// Items the user's own rights moved go back with the process-wide file manager (by path and
// existence alone; a missing former folder is made again with its intermediate folders, and
// nothing is put back over an existing entry); items moved with administrator rights go through
// the administrator restore. Restored launch agents are bootstrapped into the user's launchd
// domain again. Every call blocks (the administrator restore for as long as the password dialog
// stays open): the controller runs the Undo off the GUI thread. Points are handled strictly one
// after the other, every user-level point before any administrator point. Nothing is kept
// between calls.
#pragma once

#include <stop_token>
#include <string_view>
#include <vector>

#include "app/core/AccessRootKind.h"
#include "app/removal/RestorePoint.h"
#include "app/removal/RestoreReport.h"

namespace veldo::removal::UndoExecutor {

// The restore order: stably by the number of path components of the standardised former path,
// fewest first, so a folder comes back before anything inside it.
std::vector<RestorePoint> orderForUndo(const std::vector<RestorePoint>& points);

// What a point not reached before a stop request (the app quitting) reads; it stays in the Trash.
inline constexpr std::string_view kStoppedBeforeRestore =
    "Veldo quit before this item was put back. It's still in the Trash.";

// Puts the user-level points back in the given order, inside security-scoped access to `roots`.
// Once `stop` is requested no further point is touched: each left fails with
// kStoppedBeforeRestore.
RestoreReport restoreUserItems(const std::vector<RestorePoint>& points,
                               const std::vector<core::ScopedAccessRoot>& roots,
                               std::stop_token stop = {});

// The whole Undo: the user-level points first, then the administrator points through the
// administrator restore (with the real user's home folder), then the administrator-restored
// launch agents bootstrapped. The report holds the user-level results, then the administrator
// ones, each in restore order; a cancelled dialog fails the administrator points only.
RestoreReport performUndo(const std::vector<RestorePoint>& points,
                          const std::vector<core::ScopedAccessRoot>& roots,
                          std::stop_token stop = {});

} // namespace veldo::removal::UndoExecutor
