// The system Library pass of the leftover scan.
#include "app/leftovers/SystemLibraryRules.h"

#include <string>

#include "app/leftovers/LibraryListing.h"
#include "app/leftovers/NameMatchers.h"
#include "app/leftovers/NameText.h"
#include "platform/Unicode.h"

namespace veldo::leftovers::LeftoverScanner {

using core::LeftoverCategory;
using core::MatchConfidence;

namespace {

constexpr ExactPath kExactPaths[] = {
    {"Application Support", "", LeftoverCategory::supportFiles},
    {"Caches", "", LeftoverCategory::caches},
    {"Preferences", ".plist", LeftoverCategory::preferences},
    {"Logs", "", LeftoverCategory::logs},
};

} // namespace

void scanSystemLibrary(const platform::MacPath& library, const MatchContext& context,
                       const AddCallback& add)
{
    if (const auto& bundleID = context.bundleID) {
        for (const char* folder : {"LaunchAgents", "LaunchDaemons"}) {
            for (const auto& entry : listFolder(library, folder)) {
                if (auto c = launchdPlistConfidence(entry, context))
                    add(entry, LeftoverCategory::launchAgents, true, *c);
            }
        }
        for (const auto& entry : listFolder(library, "PrivilegedHelperTools")) {
            if (auto c = nameConfidence(entry.lastPathComponent(), context))
                add(entry, LeftoverCategory::launchAgents, true, *c);
        }
        addExactPaths(library, kExactPaths, *bundleID, true, add);
    }

    const auto keys = nameKeys(context.names);
    for (const auto& entry : listFolder(library, "Application Support")) {
        if (keys.contains(platform::lowercased(entry.lastPathComponent())))
            add(entry, LeftoverCategory::supportFiles, true, MatchConfidence::medium);
    }
}

} // namespace veldo::leftovers::LeftoverScanner
