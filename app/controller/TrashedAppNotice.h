// TrashedAppNotice: the cleanup offer shown for an app the user dragged to the Trash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "app/core/WatchedAppBundle.h"

namespace veldo::controller {

struct TrashedAppNotice
{
    std::string id;
    core::WatchedAppBundle bundle;
    core::InstalledApp app;
    int itemCount = 0;
    std::int64_t totalBytes = 0;
    // The items counted (no app bundles): those Veldo moves away later leave the counts.
    std::vector<core::LeftoverItem> items;
    // Veldo's own Homebrew run from the package list deleted the bundle shortly before.
    bool deletedByHomebrew = false;

    // True when the bundle lies in a Trash; false when it only vanished from its folder.
    bool hasTrashURL() const { return bundle.trashURL.has_value(); }

    // What a redraw depends on: the bundle and the app are not compared.
    friend bool operator==(const TrashedAppNotice& a, const TrashedAppNotice& b)
    {
        return a.id == b.id && a.itemCount == b.itemCount && a.totalBytes == b.totalBytes;
    }
};

} // namespace veldo::controller
