// Matching running applications to an installed app, and quitting them.
#include "app/core/RunningAppStatus.h"

#include <algorithm>
#include <unordered_set>

#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::core {

namespace {

using platform::MacPath;
using platform::RunningApplication;

std::string comparisonPath(const MacPath& url)
{
    return platform::resolvingSymlinks(url).path();
}

bool liesStrictlyInside(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

std::vector<RunningApplication> matching(const InstalledApp& app, const std::string& appPath,
                                         const std::vector<RunningApplication>& running)
{
    std::vector<RunningApplication> result;
    for (const auto& r : running) {
        if (r.bundleURL && comparisonPath(*r.bundleURL) == appPath)
            result.push_back(r);
    }
    if (!result.empty() || !app.bundleID)
        return result;
    const std::string id = platform::lowercased(*app.bundleID);
    if (id.empty())
        return result;
    for (const auto& r : running) {
        if (!r.bundleIdentifier || platform::lowercased(*r.bundleIdentifier) != id)
            continue;
        if (!r.bundleURL ||
            comparisonPath(*r.bundleURL).find("/AppTranslocation/") != std::string::npos)
            result.push_back(r);
    }
    return result;
}

std::vector<RunningApplication> helpers(const std::string& appPath,
                                        const std::vector<RunningApplication>& running,
                                        const std::vector<RunningApplication>& matched)
{
    std::unordered_set<pid_t> matchedIds;
    for (const auto& m : matched)
        matchedIds.insert(m.processIdentifier);
    std::vector<RunningApplication> result;
    for (const auto& r : running) {
        if (matchedIds.count(r.processIdentifier))
            continue;
        const bool inside =
            (r.bundleURL && liesStrictlyInside(comparisonPath(*r.bundleURL), appPath)) ||
            (r.executableURL && liesStrictlyInside(comparisonPath(*r.executableURL), appPath));
        if (inside)
            result.push_back(r);
    }
    return result;
}

} // namespace

std::string helperDisplayName(const RunningApplication& r)
{
    if (r.localizedName && !r.localizedName->empty())
        return *r.localizedName;
    if (r.bundleURL)
        return r.bundleURL->deletingPathExtension().lastPathComponent();
    if (r.executableURL)
        return r.executableURL->lastPathComponent();
    return "pid " + std::to_string(r.processIdentifier);
}

std::vector<RunningApplication>
runningApplicationsMatching(const InstalledApp& app,
                            const platform::RunningApplicationSource& source)
{
    return matching(app, comparisonPath(app.url), source.runningApplications());
}

std::vector<RunningApplication> helperProcesses(const InstalledApp& app,
                                                const platform::RunningApplicationSource& source)
{
    const std::string appPath = comparisonPath(app.url);
    const auto running = source.runningApplications();
    return helpers(appPath, running, matching(app, appPath, running));
}

RunningAppStatus runningStatus(const InstalledApp& app,
                               const platform::RunningApplicationSource& source)
{
    const std::string appPath = comparisonPath(app.url);
    const auto running = source.runningApplications();
    const auto matched = matching(app, appPath, running);

    RunningAppStatus status;
    for (const auto& h : helpers(appPath, running, matched)) {
        std::string name = helperDisplayName(h);
        if (std::find(status.helperNames.begin(), status.helperNames.end(), name) ==
            status.helperNames.end())
            status.helperNames.push_back(std::move(name));
    }
    if (!matched.empty()) {
        status.isRunning = true;
        status.processIdentifier = matched.front().processIdentifier;
    }
    return status;
}

bool requestQuit(const InstalledApp& app, const platform::RunningApplicationSource& source)
{
    const std::string appPath = comparisonPath(app.url);
    const auto running = source.runningApplications();
    const auto matched = matching(app, appPath, running);
    bool allAccepted = true;
    for (const auto& m : matched)
        allAccepted = source.terminate(m) && allAccepted;
    for (const auto& h : helpers(appPath, running, matched))
        (void)source.terminate(h);
    return allAccepted;
}

} // namespace veldo::core
