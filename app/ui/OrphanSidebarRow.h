// OrphanSidebarRow: the sidebar's Orphaned Files entry: an orange-to-pink tile with the question
// mark folder. GUI thread.
#pragma once

#include "app/ui/SidebarToolRow.h"

namespace veldo::ui {

class OrphanSidebarRow final : public SidebarToolRow
{
public:
    explicit OrphanSidebarRow(QObject* parent = nullptr)
        : SidebarToolRow(SystemColor::orange, SystemColor::pink, "questionmark.folder.fill", parent)
    {
    }
};

} // namespace veldo::ui
