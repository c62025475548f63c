// UndoFailure: one item the last Undo could not put back.
#pragma once

#include <string>

#include <QUuid>

#include "app/core/LeftoverItem.h"
#include "platform/MacPath.h"

namespace veldo::controller {

struct UndoFailure
{
    QUuid id;
    core::LeftoverItem item;
    platform::MacPath trashURL;
    std::string reason;

    friend bool operator==(const UndoFailure&, const UndoFailure&) = default;
};

} // namespace veldo::controller
