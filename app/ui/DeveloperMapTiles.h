// The disk-usage map's two levels, built afresh from the controller's toolchain groups and the
// kind the map is drilled into. Pure functions; GUI thread (the tiles carry colours and texts).
#pragma once

#include <optional>
#include <vector>

#include <QString>

#include "app/core/ToolchainItem.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TreemapTile.h"

namespace veldo::ui {

// The first group of `kind`; none when no kind is selected or no group has it.
const core::ToolchainGroup* selectedGroup(const std::vector<core::ToolchainGroup>& groups,
                                          std::optional<core::ToolchainKind> kind);

// Top level (no selected group): one tile per group in order, id the kind's raw value, its title,
// symbol and colour, bytes the group's sum. Drilled in: one tile per item of the group, largest
// first (equal sizes keep the group's order), id the item's path, its title and size, the
// group's colour, no symbol.
std::vector<TreemapTile> developerCategoryTable(const std::vector<core::ToolchainGroup>& groups,
                                                std::optional<core::ToolchainKind> kind,
                                                ColorScheme scheme);

// "Shows its contents" at the top level (no kind), "Reveals in Finder" once a kind is chosen.
QString mapActionHint(std::optional<core::ToolchainKind> kind);

// The drilled-in header's "N items · size" for a group.
QString mapGroupSummary(const core::ToolchainGroup& group);

// The sum of the items' sizes, held at the 64-bit limits instead of overflowing.
std::int64_t totalBytes(const std::vector<core::ToolchainItem>& items);

} // namespace veldo::ui
