// The leftover rules of the system-wide Library folder.
#pragma once

#include "app/leftovers/AddCallback.h"
#include "app/leftovers/FolderListingCache.h"
#include "app/leftovers/MatchContext.h"
#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// Proposes, through `add`, every item of the system Library `library` that belongs to the app
// of `context`: with a bundle identifier its launch agents, launch daemons and privileged
// helper tools (all as launchAgents), then its exact support, cache, preferences and log paths
// at certain; always the "Application Support" folders named like the app, at medium. Every
// proposal has requiresAdmin true. Reads one level of each folder (blocking); a folder that
// can't be read proposes nothing. Existence is left to the add rule. Folders are read through
// `listings`.
void scanSystemLibrary(const platform::MacPath& library, const MatchContext& context,
                       FolderListingCache& listings, const AddCallback& add);

} // namespace veldo::leftovers::LeftoverScanner
