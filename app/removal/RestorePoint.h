// RestorePoint: what Undo needs to put one moved item back and to prove it is still the item
// that was moved.
//
// The Trash executor fills only `item` and `trashURL` for what the user's own rights moved; the
// removal engine fills every field for what the administrator script or the helper moved.
#pragma once

#include <cstdint>
#include <optional>

#include "app/core/LeftoverItem.h"
#include "platform/MacPath.h"

namespace veldo::removal {

struct RestorePoint
{
    core::LeftoverItem item;    // as chosen; its url is where it goes back
    platform::MacPath trashURL; // where it lies in the Trash now
    bool needsAdmin = false;    // moved with administrator rights, so put back the same way
    std::optional<std::uint32_t> ownerID = std::nullopt;
    std::optional<std::uint32_t> groupID = std::nullopt;
    std::optional<std::int64_t> itemDevice = std::nullopt;
    std::optional<std::uint64_t> itemInode = std::nullopt;
    std::optional<std::int64_t> parentDevice = std::nullopt; // of the item's original folder
    std::optional<std::uint64_t> parentInode = std::nullopt;
    std::optional<std::uint32_t> parentOwnerID = std::nullopt;
    bool movedByHelper = false; // the helper's ledger vouches for the item

    friend bool operator==(const RestorePoint&, const RestorePoint&) = default;
};

} // namespace veldo::removal
