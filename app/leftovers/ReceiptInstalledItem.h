// ReceiptInstalledItem: one path that an installer receipt names as installed for an app.
#pragma once

#include "app/core/LeftoverCategory.h"
#include "platform/MacPath.h"

namespace veldo::leftovers {

struct ReceiptInstalledItem
{
    platform::MacPath url;
    core::LeftoverCategory category = core::LeftoverCategory::supportFiles;
    bool requiresAdmin = false; // outside the user's home folder

    friend bool operator==(const ReceiptInstalledItem&, const ReceiptInstalledItem&) = default;
};

} // namespace veldo::leftovers
