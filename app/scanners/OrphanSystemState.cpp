// Running executables, loaded launchd labels and launch-daemon programs for the orphan scan.
#include "app/scanners/OrphanSystemState.h"

#include "app/core/CommandRunner.h"
#include "app/core/LaunchdJob.h"
#include "app/leftovers/NameText.h"
#include "common/RemovalSafety.h"
#include "platform/MacFileSystem.h"
#include "platform/ProcessList.h"

namespace veldo::scanners::OrphanScanner {

namespace {

constexpr double kLaunchctlTimeout = 10.0;

// The text split at line feeds, empty lines dropped.
std::vector<std::string_view> nonEmptyLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The standard output of a launchctl run that started, exited 0 and did not time out.
std::optional<std::string> launchctl(const std::vector<std::string>& arguments)
{
    auto output = core::CommandRunner::run(
        "/bin/launchctl", arguments, core::CommandRunner::processEnvironment(), kLaunchctlTimeout);
    if (!output || output->code != 0 || output->timedOut)
        return std::nullopt;
    return std::move(output->stdout);
}

} // namespace

std::vector<std::string> runningExecutablePaths()
{
    std::vector<std::string> paths;
    for (platform::MacPath& path : platform::runningExecutablePaths())
        paths.push_back(path.path());
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
    const auto lines = nonEmptyLines(output);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const auto firstTab = line.find('\t');
        if (firstTab == std::string_view::npos)
            continue;
        const auto secondTab = line.find('\t', firstTab + 1);
        if (secondTab == std::string_view::npos)
            continue;
        const auto thirdTab = line.find('\t', secondTab + 1);
        const std::string_view field = line.substr(secondTab + 1, thirdTab == std::string_view::npos
                                                                      ? std::string_view::npos
                                                                      : thirdTab - secondTab - 1);
        const std::string_view label = leftovers::trimmedSpacesAndTabs(field);
        if (!label.empty())
            labels.emplace(label);
    }
    return labels;
}

std::unordered_set<std::string> parseLaunchctlServices(std::string_view output)
{
    std::unordered_set<std::string> labels;
    bool inServices = false;
    for (std::string_view raw : nonEmptyLines(output)) {
        const std::string_view line = leftovers::trimmedSpacesAndTabs(raw);
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
        if (name.starts_with('.') || leftovers::lowerCased(entry.pathExtension()) != "plist")
            continue;
        auto job = core::LaunchdJob::fromPlist(entry);
        if (job && job->programPath && job->programPath->starts_with('/'))
            paths.insert(leftovers::lowerCased(
                common::RemovalSafety::normalizedPath(platform::MacPath(*job->programPath))));
    }
    return paths;
}

} // namespace veldo::scanners::OrphanScanner
