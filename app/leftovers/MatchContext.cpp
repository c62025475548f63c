// Building the match context of one leftover scan.
#include "app/leftovers/MatchContext.h"

#include "app/leftovers/NameText.h"
#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::leftovers::LeftoverScanner {

namespace {

bool beginsWithFolder(std::string_view path, std::string_view folder)
{
    return path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
           path[folder.size()] == '/';
}

} // namespace

MatchContext MatchContext::make(const std::optional<std::string>& bundleIdentifier,
                                const platform::MacPath& appURL, std::vector<std::string> names,
                                const std::unordered_set<std::string>& embeddedIdentifiers)
{
    MatchContext context;
    if (bundleIdentifier) {
        std::string_view trimmed = platform::trimmedWhiteSpace(*bundleIdentifier);
        if (!trimmed.empty())
            context.bundleID = std::string(trimmed);
    }
    context.id = context.bundleID ? platform::lowercased(*context.bundleID) : std::string();
    const std::string prefix = context.id + ".";
    for (const auto& embedded : embeddedIdentifiers) {
        std::string lowered = platform::lowercased(embedded);
        if (lowered.size() >= prefix.size() && lowered.compare(0, prefix.size(), prefix) == 0)
            context.embeddedIDs.insert(std::move(lowered));
    }
    const platform::MacPath standard = appURL.standardized();
    context.appStandardPath = standard.path();
    context.appPath = platform::resolvingSymlinks(standard).path();
    context.names = std::move(names);
    return context;
}

PathForms PathForms::of(std::string_view path)
{
    platform::MacPath standard = platform::MacPath(path).standardized();
    std::string resolved = platform::resolvingSymlinks(standard).path();
    return PathForms{standard.path(), std::move(resolved)};
}

bool MatchContext::containsInApp(std::string_view path) const
{
    return containsInApp(PathForms::of(path));
}

bool MatchContext::containsInApp(const PathForms& forms) const
{
    for (const std::string* candidate : {&forms.standard, &forms.resolved}) {
        if (beginsWithFolder(*candidate, appPath) || beginsWithFolder(*candidate, appStandardPath))
            return true;
    }
    return false;
}

} // namespace veldo::leftovers::LeftoverScanner
