// BatchAppResult: one app of the batch screen, with what the batch scan found for it.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"

namespace veldo::controller {

struct BatchAppResult
{
    core::InstalledApp app;
    std::vector<core::LeftoverItem> leftovers;
    std::vector<core::LeftoverItem> defaultSelected; // the items the batch removes
    bool isProtected = false;
    bool isRunning = false;
    std::optional<std::string> caskToken;

    // Whether the batch removes the app bundle itself.
    bool removesAppBundle() const
    {
        return std::ranges::any_of(defaultSelected, [](const core::LeftoverItem& item) {
            return item.category == core::LeftoverCategory::application;
        });
    }

    friend bool operator==(const BatchAppResult&, const BatchAppResult&) = default;
};

} // namespace veldo::controller
