// The selected orphans and their removable size.
#include "app/ui/OrphanSelection.h"

#include "app/controller/UninstallViewModel.h"
#include "app/scanners/OrphanGroup.h"

namespace veldo::ui {

std::vector<core::LeftoverItem> selectedOrphans(const controller::UninstallViewModel& model)
{
    std::vector<core::LeftoverItem> items;
    const auto& selected = model.selectedOrphanIDs();
    if (selected.empty())
        return items;
    for (core::LeftoverItem& item : scanners::OrphanGroup::allItems(model.orphanResult().groups))
        if (selected.contains(item.id()))
            items.push_back(std::move(item));
    return items;
}

std::int64_t selectedOrphanBytes(const controller::UninstallViewModel& model)
{
    std::int64_t bytes = 0;
    for (const core::LeftoverItem& item : model.removableItems(selectedOrphans(model)))
        bytes += item.sizeBytes;
    return bytes;
}

} // namespace veldo::ui
