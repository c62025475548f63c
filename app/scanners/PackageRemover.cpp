// Uninstalling packages through their managers, and turning a failed run into one sentence.
#include "app/scanners/PackageRemover.h"

#include "app/core/CommandRunner.h"
#include "app/scanners/PackageScanner.h"
#include "app/scanners/TextParts.h"
#include "platform/Unicode.h"

namespace veldo::scanners::PackageRemover {

using core::PackageManagerKind;
namespace CommandRunner = core::CommandRunner;

namespace {

constexpr std::string_view kRequiredByPrefix = "Required-by:";
constexpr std::string_view kExternallyManaged = "externally-managed-environment";
constexpr std::string_view kExternallyManagedReason =
    "This Python is externally managed (e.g. by Homebrew); use its own package manager";

UninstallAttempt failure(std::string_view reason)
{
    return UninstallAttempt{false, std::string(reason)};
}

bool wasStopped(const veldo::Result<CommandRunner::Output>& output)
{
    return !output && output.error().code == ErrorCode::cancelled;
}

// The names that pip reports as requiring `name`; none when the check can't tell.
std::vector<std::string> pipDependants(const platform::MacPath& pip, std::string_view name,
                                       std::chrono::milliseconds timeout, std::stop_token stop)
{
    const auto show = CommandRunner::runWithUserEnvironment(pip, {"show", std::string(name)},
                                                            timeout, {}, std::move(stop));
    if (!show || show->code != 0 || show->timedOut)
        return {};
    return requiredByNames(show->stdout);
}

} // namespace

Result removePackages(const std::vector<core::DevPackage>& packages, const Timeouts& timeouts,
                      std::stop_token stop)
{
    Result result;
    for (const auto& package : packages) {
        auto attempt = uninstallPackage(package.manager, package.name, timeouts, stop);
        if (attempt.succeeded)
            result.removed.push_back(package);
        else
            result.failed.emplace_back(package, std::move(attempt.reason));
    }
    return result;
}

std::optional<std::vector<std::string>> packageUninstallArguments(PackageManagerKind manager,
                                                                  std::string_view name)
{
    // A NUL would cut the argument short: the tool would be given another name than this one.
    if (name.empty() || name.starts_with("-") || name.find('\0') != std::string_view::npos ||
        PackageScanner::isProtected(name, manager))
        return std::nullopt;
    std::string package(name);
    switch (manager) {
    case PackageManagerKind::brewFormula:
        return std::vector<std::string>{"uninstall", std::move(package)};
    case PackageManagerKind::brewCask:
        return std::vector<std::string>{"uninstall", "--cask", std::move(package)};
    case PackageManagerKind::npm:
        return std::vector<std::string>{"uninstall", "-g", std::move(package)};
    case PackageManagerKind::pip:
        return std::vector<std::string>{"uninstall", "-y", std::move(package)};
    case PackageManagerKind::gem:
        return std::vector<std::string>{"uninstall", "-a", "-x", "--abort-on-dependent",
                                        std::move(package)};
    }
    return std::nullopt;
}

UninstallAttempt uninstallPackage(PackageManagerKind manager, std::string_view name,
                                  const Timeouts& timeouts, std::stop_token stop)
{
    const auto arguments = packageUninstallArguments(manager, name);
    if (!arguments)
        return failure(kProtectedReason);
    const auto tool = PackageScanner::locatePackageTool(manager);
    if (!tool)
        return failure(kToolNotFoundReason);

    if (manager == PackageManagerKind::pip) {
        const auto dependants = pipDependants(*tool, name, timeouts.dependencyCheck, stop);
        if (!dependants.empty())
            return failure("Required by " + joined(dependants, ", "));
    }

    const auto output =
        CommandRunner::runWithUserEnvironment(*tool, *arguments, timeouts.uninstall, {}, stop);
    if (wasStopped(output))
        return failure(kStoppedReason);
    if (!output)
        return failure(kCouldNotRunReason);
    if (output->code != 0 || output->timedOut)
        return failure(
            describePackageFailure(output->stdout, output->stderr, output->code, output->timedOut));
    return UninstallAttempt{true, {}};
}

std::vector<std::string> requiredByNames(std::string_view showOutput)
{
    for (std::string_view line : nonEmptyParts(showOutput, '\n')) {
        if (!line.starts_with(kRequiredByPrefix))
            continue;
        std::vector<std::string> names;
        for (std::string_view piece : nonEmptyParts(line.substr(kRequiredByPrefix.size()), ',')) {
            piece = platform::trimmedSpacesAndTabs(piece);
            if (!piece.empty())
                names.emplace_back(piece);
        }
        return names;
    }
    return {};
}

std::string describePackageFailure(std::string_view stdout, std::string_view stderr,
                                   std::int32_t code, bool timedOut)
{
    if (timedOut)
        return "Timed out";
    if (stderr.find(kExternallyManaged) != std::string_view::npos)
        return std::string(kExternallyManagedReason);

    std::string combined(stderr);
    combined += '\n';
    combined += stdout;
    std::vector<std::string_view> lines;
    for (std::string_view piece : nonEmptyParts(combined, '\n')) {
        piece = platform::trimmedSpacesAndTabs(piece);
        if (!piece.empty())
            lines.push_back(piece);
    }
    if (lines.empty())
        return "Uninstall failed (exit " + std::to_string(code) + ")";
    for (std::string_view line : lines) {
        const std::string lower = platform::lowercased(line);
        if (lower.find("dependen") != std::string::npos || lower.starts_with("error") ||
            lower.find("err!") != std::string::npos)
            return std::string(line);
    }
    return std::string(lines.front());
}

} // namespace veldo::scanners::PackageRemover
