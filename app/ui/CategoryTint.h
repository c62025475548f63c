// categoryTint: the fixed named colour of each leftover category.
#pragma once

#include "app/core/LeftoverCategory.h"
#include "app/ui/SystemColors.h"

namespace veldo::ui {

// Adapts to the appearance through SystemColors::color. launchAgents and crashReports share red.
SystemColor categoryTint(core::LeftoverCategory category);

} // namespace veldo::ui
