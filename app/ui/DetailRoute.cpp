// DetailRoute: the detail pane's routing rules.
#include "app/ui/DetailRoute.h"

#include "app/controller/UninstallViewModel.h"

namespace veldo::ui {

namespace {

bool isExactly(const controller::IdSet& selection, const char* id)
{
    return selection.size() == 1 && selection.contains(id);
}

} // namespace

DetailRouteKey detailRouteKey(const controller::UninstallViewModel& model)
{
    const controller::IdSet& selection = model.selectedAppIDs();
    if (isExactly(selection, "veldo://developer"))
        return {DetailRoute::developer, {}, {}};
    if (isExactly(selection, "veldo://orphans"))
        return {DetailRoute::orphans, {}, {}};
    if (model.selectedApps().size() >= 2)
        return {DetailRoute::batch, {}, selection};
    if (const std::optional<core::InstalledApp> app = model.selectedApp())
        return {DetailRoute::appDetail, app->id(), {}};
    return {DetailRoute::welcome, {}, {}};
}

} // namespace veldo::ui
