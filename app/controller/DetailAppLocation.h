// DetailAppLocation: where the bundle of the app in the detail pane is now.
#pragma once

namespace veldo::controller {

enum class DetailAppLocation
{
    installed,
    inTrash,
    removed,
    notFound
};

} // namespace veldo::controller
