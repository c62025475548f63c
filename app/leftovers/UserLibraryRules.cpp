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

std::optional<MatchConfidence> containerFolderConfidence(const std::string& fileName,
                                                         const MatchContext& context)
{
    const std::string n = platform::lowercased(fileName);
    if (isOwnIdentifier(n, context))
        return MatchConfidence::high;
    if (dotSeparatedPartCount(context.id) < 3)
        return std::nullopt;
    if (continuesIdentifier(n, context.id))
        return MatchConfidence::medium;
    return std::nullopt;
}

void addEntriesNamedLikeApp(const platform::MacPath& library, const char* folder,
                            const std::unordered_set<std::string>& keys, LeftoverCategory category,
                            const AddCallback& add)
{
    for (const auto& entry : listFolder(library, folder)) {
        if (keys.contains(platform::lowercased(entry.lastPathComponent())))
            add(entry, category, false, MatchConfidence::medium);
    }
}

} // namespace

void scanUserLibrary(const platform::MacPath& library, const MatchContext& context,
                     const AddCallback& add)
{
    if (const auto& bundleID = context.bundleID) {
        addExactPaths(library, kExactPaths, *bundleID, false, add);

        for (const auto& entry : listFolder(library, "Preferences/ByHost")) {
            const std::string name = entry.lastPathComponent();
            const auto c = nameConfidence(name, context);
            if (!c)
                continue;
            const MatchConfidence confidence =
                *c == MatchConfidence::high ? byHostConfidence(name, context) : *c;
            add(entry, LeftoverCategory::preferences, false, confidence);
        }

        for (const auto& entry : listFolder(library, "Containers")) {
            if (auto c = containerFolderConfidence(entry.lastPathComponent(), context))
                add(entry, LeftoverCategory::containers, false, *c);
        }

        for (const auto& entry : listFolder(library, "Application Scripts")) {
            if (auto c = containerConfidence(entry.lastPathComponent(), context))
                add(entry, LeftoverCategory::containers, false, *c);
        }

        for (const auto& entry : listFolder(library, "Group Containers")) {
            if (auto c = containerConfidence(entry.lastPathComponent(), context))
                add(entry, LeftoverCategory::groupContainers, false, *c);
        }

        for (const auto& entry : listFolder(library, "LaunchAgents")) {
            if (auto c = launchdPlistConfidence(entry, context))
                add(entry, LeftoverCategory::launchAgents, false, *c);
        }

        if (dotSeparatedPartCount(context.id) >= 3) {
            for (const auto& entry : listFolder(library, "Logs/DiagnosticReports")) {
                if (nameMentions(entry.lastPathComponent(), *bundleID))
                    add(entry, LeftoverCategory::crashReports, false, MatchConfidence::high);
            }
        }
    }

    const auto keys = nameKeys(context.names);
    addEntriesNamedLikeApp(library, "Application Support", keys, LeftoverCategory::supportFiles,
                           add);
    addEntriesNamedLikeApp(library, "Caches", keys, LeftoverCategory::caches, add);
    addEntriesNamedLikeApp(library, "Logs", keys, LeftoverCategory::logs, add);

    std::vector<const std::string*> crashNames;
    for (const auto& name : context.names) {
        if (characterCount(platform::trimmedSpacesAndTabs(name)) >= 3)
            crashNames.push_back(&name);
    }
    if (crashNames.empty())
        return;
    for (const auto& entry : listFolder(library, "Logs/DiagnosticReports")) {
        const std::string fileName = entry.lastPathComponent();
        for (const auto* name : crashNames) {
            if (nameMentions(fileName, *name)) {
                add(entry, LeftoverCategory::crashReports, false, MatchConfidence::low);
                break;
            }
        }
    }
}

} // namespace veldo::leftovers::LeftoverScanner
