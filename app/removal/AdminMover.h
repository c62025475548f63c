// AdminMover: moves into the user's Trash, with root rights, the items the user's own account
// could not move: through the privileged helper daemon when it is usable, and through one
// administrator script (behind the system's password dialog) for everything else.
//
// Every call blocks (the script for as long as the password dialog stays open, the helper for up
// to its batch time-out): call them from a worker thread, never the GUI thread. Nothing is kept
// between calls. Every item is asked of the removal-safety policy first and never touched when
// refused. Only ENOENT and ENOTDIR mean an item is already gone; any other error leaves it in
// place with a sentence. A stop request (the app quitting) ends a waiting helper call and the
// script's osascript; an item the script may have moved without its marker being read is then
// reported as not moved, with the runner's sentence.
#pragma once

#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "app/removal/AdminMoveResult.h"
#include "common/RemovalSafety.h"
#include "platform/MacPath.h"

namespace veldo::removal::AdminRemover {

inline constexpr std::string_view kTrashNotUsable =
    "Your Trash folder is missing or isn't a normal folder.";
inline constexpr std::string_view kUnsafeCharacters =
    "The path contains characters Veldo won't pass to an administrator command.";
inline constexpr std::string_view kLinkOnTheWay = "A folder on the way to this item is a symbolic "
                                                  "link, so Veldo won't move it with an "
                                                  "administrator password.";
inline constexpr std::string_view kOtherVolume =
    "This item is on another volume, so Veldo won't move it with an administrator password.";

// The entry: with no items, an empty result. When the helper is usable (checked with the
// standard user defaults and the helper daemon's service), the helper moves first and the script
// runs on exactly the items it left; the results merge (the helper's moves first, the script's
// sentence kept where both failed one path, missing paths united, cancelled as the script says).
// Otherwise the script moves everything.
MoveResult moveToTrash(const std::vector<platform::MacPath>& items,
                       const common::RemovalSafety::Context& context, std::stop_token stop = {});

// The script move: refuses before the password dialog what it can't prove (a Trash that is not
// the caller's own folder, safety refusals, unsafe characters, a parent reached through a link
// or not searchable, another volume), runs one clause per remaining item (a path met twice makes
// one clause) and keeps only the moves whose destination holds the item afterwards. No dialog
// when nothing is left to move.
MoveResult runMoveScript(const std::vector<platform::MacPath>& items,
                         const common::RemovalSafety::Context& context, std::stop_token stop = {});

// The helper batch: refusals and missing items are settled here, the rest goes to the helper with
// a free Trash name each, at most as many items as its ledger keeps records of for one account
// (common::kHelperRequestItemLimit, one request): the items beyond are the script's, so that Undo
// can put back every item the helper moved. Answers the result (never cancelled) and the
// standardized items the script must still move, in request order, those beyond the ledger last.
std::pair<MoveResult, std::vector<platform::MacPath>>
moveWithHelper(const std::vector<platform::MacPath>& items,
               const common::RemovalSafety::Context& context, std::stop_token stop = {});

} // namespace veldo::removal::AdminRemover
