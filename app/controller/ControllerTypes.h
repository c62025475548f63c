// The collection types of the controller's state: id sets, the leftover cache, continuations.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/controller/AppManagementChoice.h"
#include "app/controller/Task.h"
#include "app/core/LeftoverItem.h"

namespace veldo::controller {

// Ids are Mac path strings (or package ids), compared exactly.
using IdSet = std::unordered_set<std::string>;

// App id → the leftovers last found for that app.
using LeftoverCache = std::unordered_map<std::string, std::vector<core::LeftoverItem>>;

// The suspended removals waiting for a prompt's answer; compared by identity.
using AdminEscalationContinuation = std::shared_ptr<PromptContinuation<bool>>;
using AppManagementContinuation = std::shared_ptr<PromptContinuation<AppManagementChoice>>;

} // namespace veldo::controller
