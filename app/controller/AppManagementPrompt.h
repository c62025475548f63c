// AppManagementPrompt: the App Management decision a removal is waiting for.
// It has no equality: every write of the pending prompt notifies.
#pragma once

#include <vector>

#include <QUuid>

#include "app/core/LeftoverItem.h"

namespace veldo::controller {

struct AppManagementPrompt
{
    QUuid id;
    std::vector<core::LeftoverItem> items;
    bool usesHelper = false; // the move would go through the privileged helper
};

} // namespace veldo::controller
