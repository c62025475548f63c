// The selected orphan findings as the Orphaned Files screen and its review sheet count them: the
// items of the controller's orphan result whose paths are selected, in group and finding order,
// and the size of those the removal-safety policy lets through. GUI thread (reads the controller).
#pragma once

#include <cstdint>
#include <vector>

#include "app/core/LeftoverItem.h"

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

std::vector<core::LeftoverItem> selectedOrphans(const controller::UninstallViewModel& model);
std::int64_t selectedOrphanBytes(const controller::UninstallViewModel& model);

} // namespace veldo::ui
