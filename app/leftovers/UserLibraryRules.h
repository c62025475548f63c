// The leftover rules of the user's Library folder.
#pragma once

#include "app/leftovers/AddCallback.h"
#include "app/leftovers/FolderListingCache.h"
#include "app/leftovers/MatchContext.h"
#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// Proposes, through `add`, every item of the user Library `library` that belongs to the app of
// `context`, in a fixed order: with a bundle identifier its exact paths (preferences, saved
// state, containers, application scripts, caches, support files, HTTP storage and cookies,
// WebKit data, logs) at certain, then host-specific preferences, containers, application
// scripts, group containers, launch agents and crash reports naming the identifier; always the
// support files, caches, logs and crash reports that carry one of the app's names. Every
// proposal has requiresAdmin false. Reads one level of each folder (blocking); a folder that
// can't be read proposes nothing. Existence is left to the add rule. Folders are read through
// `listings`.
void scanUserLibrary(const platform::MacPath& library, const MatchContext& context,
                     FolderListingCache& listings, const AddCallback& add);

} // namespace veldo::leftovers::LeftoverScanner
