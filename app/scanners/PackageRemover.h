// PackageRemover: uninstalls packages through their own package manager, never by deleting files.
//
// Each package is removed by its manager's uninstall command (brew, npm, pip3 or pip, gem), found
// with PackageScanner::locatePackageTool and run through CommandRunner::runWithUserEnvironment
// with an argument vector, never through a shell. A name that could be read as an option (empty,
// or beginning with "-") and the names a manager needs for itself are refused before anything
// runs. For pip the remover first asks "show" whether another installed package still requires
// the one to be removed, and refuses it when so. A failed run becomes one sentence for the user.
//
// All calls block for as long as their children run (at most the time-outs below each, plus the
// runner's stop sequence) and run the children strictly one after another; call them from
// background work. Thread-safe; no state. Nothing throws: every failure is a reason sentence.
// A stop requested through `stop` ends the running child and runs no further one; the package
// being uninstalled and every later one then fail with kStoppedReason.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/DevPackage.h"
#include "app/core/PackageManagerKind.h"
#include "app/scanners/PackageRemoverResult.h"

namespace veldo::scanners::PackageRemover {

// How long pip's "show" check and one uninstall may run.
inline constexpr std::chrono::milliseconds kDependencyCheckTimeout = std::chrono::seconds(60);
inline constexpr std::chrono::milliseconds kUninstallTimeout = std::chrono::seconds(300);

struct Timeouts
{
    std::chrono::milliseconds dependencyCheck = kDependencyCheckTimeout;
    std::chrono::milliseconds uninstall = kUninstallTimeout;
};

// The reasons the remover gives itself; the others come from describePackageFailure.
inline constexpr std::string_view kProtectedReason =
    "Protected: part of the package manager itself";
inline constexpr std::string_view kToolNotFoundReason = "Tool not found";
inline constexpr std::string_view kCouldNotRunReason = "Could not run uninstaller";
inline constexpr std::string_view kStoppedReason = "Stopped before the uninstall finished";

// What one uninstall came to: succeeded, or not with the reason.
struct UninstallAttempt
{
    bool succeeded = false;
    std::string reason; // empty on success

    friend bool operator==(const UninstallAttempt&, const UninstallAttempt&) = default;
};

// Uninstalls `packages` one after another, in request order; a failure never stops the batch.
// Reads only each package's manager and name.
Result removePackages(const std::vector<core::DevPackage>& packages, const Timeouts& timeouts = {},
                      std::stop_token stop = {});

// The arguments of the manager's uninstall command for `name`: brew "uninstall" NAME (a cask:
// "uninstall" "--cask" NAME), npm "uninstall" "-g" NAME, pip "uninstall" "-y" NAME, gem
// "uninstall" "-a" "-x" "--abort-on-dependent" NAME. None when the name is refused: empty,
// beginning with "-", holding a NUL (the tool would see it cut short), or protected
// (PackageScanner::isProtected).
std::optional<std::vector<std::string>> packageUninstallArguments(core::PackageManagerKind manager,
                                                                  std::string_view name);

// Uninstalls one package: refuses it (kProtectedReason), finds the tool (kToolNotFoundReason),
// for pip refuses a package that others require ("Required by " and their names joined with
// ", "), runs the uninstall (kCouldNotRunReason when it cannot start) and describes a failed run.
UninstallAttempt uninstallPackage(core::PackageManagerKind manager, std::string_view name,
                                  const Timeouts& timeouts = {}, std::stop_token stop = {});

// The names on the first line of pip "show" output that begins with "Required-by:", split at
// "," and trimmed of blanks and tabs; none when there is no such line or it lists nobody.
std::vector<std::string> requiredByNames(std::string_view showOutput);

// The sentence for a failed run: "Timed out"; the externally-managed sentence when standard
// error says so; else the first line of standard error then standard output (trimmed) that
// mentions a dependency, begins with "error" or holds "err!" (case-insensitive), else the first
// line; "Uninstall failed (exit N)" when there are no lines.
std::string describePackageFailure(std::string_view stdout, std::string_view stderr,
                                   std::int32_t code, bool timedOut);

} // namespace veldo::scanners::PackageRemover
