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
                       FolderListingCache& listings, const AddCallback& add)
{
    if (const auto& bundleID = context.bundleID) {
        for (const char* folder : {"LaunchAgents", "LaunchDaemons"}) {
            const auto jobFolder = listFolder(listings, library, folder);
            const auto& jobs = jobFolder->launchdJobs();
            for (std::size_t i = 0; i < jobs.size(); ++i) {
                const std::string& name = jobFolder->visibleNames()[i];
                if (auto c = launchdPlistConfidence(name, jobs[i], context))
                    add(jobFolder->pathOf(name), LeftoverCategory::launchAgents, true, *c);
            }
        }
        const auto tools = listFolder(listings, library, "PrivilegedHelperTools");
        for (const std::string& name : tools->visibleNames()) {
            if (auto c = nameConfidence(name, context))
                add(tools->pathOf(name), LeftoverCategory::launchAgents, true, *c);
        }
        addExactPaths(listings, library, kExactPaths, *bundleID, true, add);
    }

    const auto keys = nameKeys(context.names);
    const auto support = listFolder(listings, library, "Application Support");
    const auto& lowered = support->loweredNames();
    for (std::size_t i = 0; i < lowered.size(); ++i) {
        if (keys.contains(lowered[i]))
            add(support->pathOf(support->visibleNames()[i]), LeftoverCategory::supportFiles, true,
                MatchConfidence::medium);
    }
}

} // namespace veldo::leftovers::LeftoverScanner
