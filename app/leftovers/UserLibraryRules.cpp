// The user Library pass of the leftover scan.
#include "app/leftovers/UserLibraryRules.h"

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
    {"Preferences", ".plist", LeftoverCategory::preferences},
    {"Saved Application State", ".savedState", LeftoverCategory::savedState},
    {"Containers", "", LeftoverCategory::containers},
    {"Application Scripts", "", LeftoverCategory::containers},
    {"Caches", "", LeftoverCategory::caches},
    {"Application Support", "", LeftoverCategory::supportFiles},
    {"HTTPStorages", "", LeftoverCategory::webData},
    {"HTTPStorages", ".binarycookies", LeftoverCategory::cookies},
    {"WebKit", "", LeftoverCategory::webData},
    {"Cookies", ".binarycookies", LeftoverCategory::cookies},
    {"Logs", "", LeftoverCategory::logs},
};

bool continuesIdentifier(const std::string& name, const std::string& id)
{
    return name.size() > id.size() && name.compare(0, id.size(), id) == 0 &&
           (name[id.size()] == '.' || name[id.size()] == '-');
}

bool isOwnIdentifier(const std::string& name, const MatchContext& context)
{
    return name == context.id || context.embeddedIDs.contains(name);
}

// A host-specific preferences file matched high by name is high only when the part before its
// last "." (the host identifier) is the identifier itself or a nested bundle's.
MatchConfidence byHostConfidence(const std::string& fileName, const MatchContext& context)
{
    std::string n = platform::lowercased(fileName);
    if (n.size() >= 6 && n.compare(n.size() - 6, 6, ".plist") == 0)
        n.resize(n.size() - 6);
    const std::size_t dot = n.rfind('.');
    if (dot == std::string::npos)
        return MatchConfidence::medium;
    return isOwnIdentifier(n.substr(0, dot), context) ? MatchConfidence::high
                                                      : MatchConfidence::medium;
}

// `n` is the folder name lower-cased.
std::optional<MatchConfidence> containerFolderConfidence(const std::string& n,
                                                         const MatchContext& context)
{
    if (isOwnIdentifier(n, context))
        return MatchConfidence::high;
    if (dotSeparatedPartCount(context.id) < 3)
        return std::nullopt;
    if (continuesIdentifier(n, context.id))
        return MatchConfidence::medium;
    return std::nullopt;
}

void addEntriesNamedLikeApp(FolderListingCache& listings, const platform::MacPath& library,
                            const char* folder, const std::unordered_set<std::string>& keys,
                            LeftoverCategory category, const AddCallback& add)
{
    const auto entries = listFolder(listings, library, folder);
    const auto& lowered = entries->loweredNames();
    for (std::size_t i = 0; i < lowered.size(); ++i) {
        if (keys.contains(lowered[i]))
            add(entries->pathOf(entries->visibleNames()[i]), category, false,
                MatchConfidence::medium);
    }
}

} // namespace

void scanUserLibrary(const platform::MacPath& library, const MatchContext& context,
                     FolderListingCache& listings, const AddCallback& add)
{
    if (const auto& bundleID = context.bundleID) {
        addExactPaths(listings, library, kExactPaths, *bundleID, false, add);

        const auto byHost = listFolder(listings, library, "Preferences/ByHost");
        for (const std::string& name : byHost->visibleNames()) {
            const auto c = nameConfidence(name, context);
            if (!c)
                continue;
            const MatchConfidence confidence =
                *c == MatchConfidence::high ? byHostConfidence(name, context) : *c;
            add(byHost->pathOf(name), LeftoverCategory::preferences, false, confidence);
        }

        const auto containers = listFolder(listings, library, "Containers");
        const auto& loweredContainers = containers->loweredNames();
        for (std::size_t i = 0; i < loweredContainers.size(); ++i) {
            if (auto c = containerFolderConfidence(loweredContainers[i], context))
                add(containers->pathOf(containers->visibleNames()[i]), LeftoverCategory::containers,
                    false, *c);
        }

        const auto scripts = listFolder(listings, library, "Application Scripts");
        for (const std::string& name : scripts->visibleNames()) {
            if (auto c = containerConfidence(name, context))
                add(scripts->pathOf(name), LeftoverCategory::containers, false, *c);
        }

        const auto groups = listFolder(listings, library, "Group Containers");
        for (const std::string& name : groups->visibleNames()) {
            if (auto c = containerConfidence(name, context))
                add(groups->pathOf(name), LeftoverCategory::groupContainers, false, *c);
        }

        const auto agents = listFolder(listings, library, "LaunchAgents");
        const auto& jobs = agents->launchdJobs();
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            const std::string& name = agents->visibleNames()[i];
            if (auto c = launchdPlistConfidence(name, jobs[i], context))
                add(agents->pathOf(name), LeftoverCategory::launchAgents, false, *c);
        }

        if (dotSeparatedPartCount(context.id) >= 3) {
            const auto reports = listFolder(listings, library, "Logs/DiagnosticReports");
            for (const std::string& name : reports->visibleNames()) {
                if (nameMentions(name, *bundleID))
                    add(reports->pathOf(name), LeftoverCategory::crashReports, false,
                        MatchConfidence::high);
            }
        }
    }

    const auto keys = nameKeys(context.names);
    addEntriesNamedLikeApp(listings, library, "Application Support", keys,
                           LeftoverCategory::supportFiles, add);
    addEntriesNamedLikeApp(listings, library, "Caches", keys, LeftoverCategory::caches, add);
    addEntriesNamedLikeApp(listings, library, "Logs", keys, LeftoverCategory::logs, add);

    std::vector<const std::string*> crashNames;
    for (const auto& name : context.names) {
        if (characterCount(platform::trimmedSpacesAndTabs(name)) >= 3)
            crashNames.push_back(&name);
    }
    if (crashNames.empty())
        return;
    const auto reports = listFolder(listings, library, "Logs/DiagnosticReports");
    for (const std::string& fileName : reports->visibleNames()) {
        for (const auto* name : crashNames) {
            if (nameMentions(fileName, *name)) {
                add(reports->pathOf(fileName), LeftoverCategory::crashReports, false,
                    MatchConfidence::low);
                break;
            }
        }
    }
}

} // namespace veldo::leftovers::LeftoverScanner
