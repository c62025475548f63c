// AddCallback: how a leftover rule proposes a candidate to the scan's add rule.
#pragma once

#include <functional>

#include "app/core/LeftoverCategory.h"
#include "app/core/MatchConfidence.h"
#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// Called with the candidate's path, its category, whether moving it needs administrator rights,
// and the confidence of the match. The add rule decides whether it exists, may be offered, and
// whether it is new or raises the confidence of an item found before.
using AddCallback =
    std::function<void(const platform::MacPath& url, core::LeftoverCategory category,
                       bool requiresAdmin, core::MatchConfidence confidence)>;

} // namespace veldo::leftovers::LeftoverScanner
