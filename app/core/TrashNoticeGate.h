// TrashNoticeGate: decides when to offer cleanup for an app that arrived in the Trash — never
// for the program's own moves, its own bundle, items nested in the Trash while it works, or an
// app offered a short while ago. A plain value kept by the controller; nothing is saved.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/core/InstalledApp.h"
#include "app/core/WatchedAppBundle.h"
#include "platform/MacPath.h"

namespace veldo::core {

struct TrashNoticeGate
{
    // How long a recording (and the last removal) counts, and how long an offer blocks another
    // under the same key.
    std::chrono::seconds expectationLifetime{180};
    std::chrono::seconds repeatInterval{600};
    std::optional<std::string> ownBundleID;
    std::map<std::string, Date> expectedPaths;     // lower-cased standardised paths
    std::map<std::string, Date> expectedBundleIDs; // lower-cased identifiers
    std::map<std::string, Date> offered;           // offer keys
    std::optional<Date> lastRemovalActivity;

    // Records what the program itself is moving.
    void expect(const std::vector<platform::MacPath>& urls,
                const std::vector<std::string>& bundleIDs, Date now);

    // True when a notice is due for `bundle`; the offer is then recorded.
    bool decide(const WatchedAppBundle& bundle, bool removalInProgress,
                const platform::MacPath& trashFolder, Date now);

    // Drops stale recordings and offers.
    void prune(Date now);

    // "id:" + lower-cased identifier, or "name:" + lower-cased name without one.
    static std::string offerKey(const WatchedAppBundle& bundle);

    // True when the item lies below the top level of a Trash.
    static bool isNestedInTrash(const platform::MacPath& item,
                                const platform::MacPath& trashFolder);

    // The app record a notice shows: the bundle in the Trash when it can be loaded, else a
    // record built from the bundle's fields.
    static InstalledApp installedApp(const WatchedAppBundle& bundle);
};

// True when `item` lies in the home folder's Trash or in a volume's ".Trashes" (case-sensitive).
bool isInTrash(const platform::MacPath& item, const platform::MacPath& home);

} // namespace veldo::core
