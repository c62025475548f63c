// The category colour table.
#include "app/ui/CategoryTint.h"

namespace veldo::ui {

SystemColor categoryTint(core::LeftoverCategory category)
{
    using C = core::LeftoverCategory;
    switch (category) {
    case C::application:
        return SystemColor::blue;
    case C::supportFiles:
        return SystemColor::indigo;
    case C::caches:
        return SystemColor::orange;
    case C::preferences:
        return SystemColor::gray;
    case C::containers:
        return SystemColor::purple;
    case C::groupContainers:
        return SystemColor::pink;
    case C::savedState:
        return SystemColor::teal;
    case C::logs:
        return SystemColor::brown;
    case C::launchAgents:
        return SystemColor::red;
    case C::cookies:
        return SystemColor::yellow;
    case C::webData:
        return SystemColor::cyan;
    case C::receipts:
        return SystemColor::mint;
    case C::crashReports:
        return SystemColor::red;
    }
    return SystemColor::gray;
}

} // namespace veldo::ui
