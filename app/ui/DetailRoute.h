// DetailRoute: which screen fills the main window's detail pane, decided from the controller's
// selection, and when that screen must be made afresh.
//
// Rules, first match wins: the selection is exactly {"veldo://developer"}: developer; exactly
// {"veldo://orphans"}: orphans (set equality: a pseudo-id together with anything else routes by
// the next rules); two or more listed apps selected: batch; the controller's selected app:
// appDetail; else welcome. Two keys differ, and the screen is rebuilt, when the route differs,
// when the detail app's id differs, or (batch) when the selection differs. GUI thread.
#pragma once

#include <string>

#include "app/controller/ControllerTypes.h"

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

enum class DetailRoute
{
    developer,
    orphans,
    batch,
    appDetail,
    welcome
};

struct DetailRouteKey
{
    DetailRoute route = DetailRoute::welcome;
    // The detail app's id (appDetail only).
    std::string appID;
    // The selection (batch only).
    controller::IdSet selection;

    friend bool operator==(const DetailRouteKey&, const DetailRouteKey&) = default;
};

DetailRouteKey detailRouteKey(const controller::UninstallViewModel& model);

} // namespace veldo::ui
