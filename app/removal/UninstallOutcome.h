// UninstallOutcome: the result of one removal of a set of items, and the questions the window
// asks of it afterwards.
//
// The Trash executor makes it; the removal engine merges its administrator and helper moves into
// the same record. Paths used as identifiers are the `path` of the item's url. Plain value.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/core/LeftoverItem.h"
#include "app/removal/RestorePoint.h"

namespace veldo::removal {

struct UninstallOutcome
{
    // An item still in place, with the sentence the user reads.
    struct Failure
    {
        core::LeftoverItem item;
        std::string message;

        friend bool operator==(const Failure&, const Failure&) = default;
    };

    std::vector<core::LeftoverItem> trashed; // in the order they were handled
    std::vector<Failure> failed;
    std::vector<RestorePoint> restorePoints;        // one per trashed item that can be put back
    std::vector<core::LeftoverItem> alreadyMissing; // gone before the removal reached them
    std::vector<core::LeftoverItem> nested; // inside another chosen item, or a repeat of one
    std::unordered_set<std::string> escalatableIDs; // failed items an administrator move may remove
    std::unordered_set<std::string> appManagementDenialIDs; // failed apps App Management refused
    // Failed items the removal-safety policy refused: nothing may remove them, not even by hand.
    std::unordered_set<std::string> refusedIDs;

    // The items of `nested` that went to the Trash inside a trashed item (standardised paths: the
    // same path, or beneath it; "/" covers every other absolute path), in `nested` order.
    std::vector<core::LeftoverItem> nestedItemsTrashedWithParent() const;

    // How many trashed items have no restore point (matched by url path as given); never below 0.
    std::size_t trashedWithoutRestorePointCount() const;

    // Whether a failed item of the application category is among the App Management denials.
    bool appBlockedByAppManagement() const;

    friend bool operator==(const UninstallOutcome&, const UninstallOutcome&) = default;
};

} // namespace veldo::removal
