// AdminMove: one item that an administrator move put into the user's Trash, with what Undo needs
// to put it back and to prove it is still the same item.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/MacPath.h"

namespace veldo::removal::AdminRemover {

// The script fills every field; the helper fills source, destination, owner and group only.
struct Move
{
    platform::MacPath source;      // the standardized path the item had
    platform::MacPath destination; // where it lies now, directly inside the Trash
    std::optional<std::uint32_t> ownerID = std::nullopt;
    std::optional<std::uint32_t> groupID = std::nullopt;
    std::optional<std::int64_t> device = std::nullopt; // of the item
    std::optional<std::uint64_t> inode = std::nullopt;
    std::optional<std::int64_t> parentDevice = std::nullopt; // of the folder the item was in
    std::optional<std::uint64_t> parentInode = std::nullopt;
    std::optional<std::uint32_t> parentOwnerID = std::nullopt;
    bool movedByHelper = false;

    friend bool operator==(const Move&, const Move&) = default;
};

} // namespace veldo::removal::AdminRemover
