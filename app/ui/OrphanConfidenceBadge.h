// OrphanConfidenceBadge: the help text of the confidence badge on the Orphaned Files screen; the
// badge itself (title, tint, capsule) is the leftover list's ConfidenceBadge. Pure.
#pragma once

#include <QString>

#include "app/core/MatchConfidence.h"

namespace veldo::ui::OrphanConfidenceBadge {

// Medium has its own help text; every other value shares the uncertain one.
QString helpText(core::MatchConfidence confidence);

} // namespace veldo::ui::OrphanConfidenceBadge
