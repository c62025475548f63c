// DeveloperSidebarRow: the sidebar's Developer Footprint entry: a purple-to-blue tile with the
// wrench and screwdriver. GUI thread.
#pragma once

#include "app/ui/SidebarToolRow.h"

namespace veldo::ui {

class DeveloperSidebarRow final : public SidebarToolRow
{
public:
    explicit DeveloperSidebarRow(QObject* parent = nullptr)
        : SidebarToolRow(SystemColor::purple, SystemColor::blue, "wrench.and.screwdriver.fill",
                         parent)
    {
    }
};

} // namespace veldo::ui
