// Running executables, loaded launchd labels and launch-daemon programs for the orphan scan.
#include "app/scanners/OrphanSystemState.h"

#include <chrono>

#include "app/core/CommandRunner.h"
#include "app/core/LaunchdJob.h"
#include "app/leftovers/NameText.h"
#include "app/scanners/TextParts.h"
#include "common/RemovalSafety.h"
#include "platform/MacFileSystem.h"
#include "platform/ProcessList.h"
#include "platform/Unicode.h"

namespace veldo::scanners::OrphanScanner {

namespace {

constexpr std::chrono::seconds kLaunchctlTimeout{10};

// The standard output of a launchctl run that started, exited 0, did not time out and was not
// cut short (a partial listing would make loaded jobs look unloaded).
std::optional<std::string> launchctl(const std::vector<std::string>& arguments)
{
    auto output =
        core::CommandRunner::run(platform::MacPath("/bin/launchctl"), arguments,
                                 core::CommandRunner::processEnvironment(), kLaunchctlTimeout);
    if (!output || output->code != 0 || output->timedOut || output->truncated)
        return std::nullopt;
    return std::move(output->stdout);
}

} // namespace

std::vector<std::string> runningExecutablePaths()
{
    std::vector<std::string> paths;
    for (platform::MacPath& path : platform::runningExecutablePaths())
        paths.push_back(platform::repairedUtf8(path.path()));
    return paths;
}

std::optional<std::unordered_set<std::string>> loadedLaunchdLabels()
{
    auto list = launchctl({"list"});
    if (!list)
        return std::nullopt;
    auto labels = parseLaunchctlList(*list);
    auto system = launchctl({"print", "system"});
    if (!system)
        return std::nullopt;
    labels.merge(parseLaunchctlServices(*system));
    return labels;
}

std::unordered_set<std::string> parseLaunchctlList(std::string_view output)
{
    std::unordered_set<std::string> labels;
    const auto lines = nonEmptyParts(output, '\n');
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto fields = partsKeepingEmpty(lines[i], '\t');
        if (fields.size() <= 2)
            continue;
        if (const std::string_view label = platform::trimmedSpacesAndTabs(fields[2]);
            !label.empty())
            labels.emplace(label);
    }
    return labels;
}

std::unordered_set<std::string> parseLaunchctlServices(std::string_view output)
{
    std::unordered_set<std::string> labels;
    bool inServices = false;
    for (std::string_view raw : nonEmptyParts(output, '\n')) {
        const std::string_view line = platform::trimmedSpacesAndTabs(raw);
        if (!inServices) {
            inServices = line == "services = {";
            continue;
        }
        if (line == "}")
            break;
        std::vector<std::string_view> fields;
        for (std::size_t at = 0; at < line.size();) {
            const auto end = line.find_first_of(" \t", at);
            const auto stop = end == std::string_view::npos ? line.size() : end;
            if (stop > at)
                fields.push_back(line.substr(at, stop - at));
            at = stop + 1;
        }
        if (fields.size() > 2)
            labels.emplace(fields[2]);
    }
    return labels;
}

std::unordered_set<std::string> daemonProgramPaths(const platform::MacPath& folder)
{
    std::unordered_set<std::string> paths;
    auto names = platform::listDirectory(folder);
    if (!names)
        return paths;
    for (const std::string& name : *names) {
        const platform::MacPath entry = folder.appendingPathComponent(name);
        if (name.starts_with('.') || platform::lowercased(entry.pathExtension()) != "plist")
            continue;
        auto job = core::LaunchdJob::fromPlist(entry);
        if (job && job->programPath && job->programPath->starts_with('/'))
            paths.insert(platform::lowercased(
                common::RemovalSafety::normalizedPath(platform::MacPath(*job->programPath))));
    }
    return paths;
}

} // namespace veldo::scanners::OrphanScanner
