// PackageScanner: lists the packages installed through Homebrew, npm, pip and gem.
//
// Each manager is found on the tool search path (CommandRunner::which over searchPath(), with
// Apple's placeholder tools refused unless the Command Line Tools are installed) and asked for
// its own listing, one child process after another, each through
// CommandRunner::runWithUserEnvironment so that it sees the search path as its "PATH". The
// output is parsed without throwing: a manager that is missing, can't be started, or whose
// listing is refused or can't be parsed simply has no group. Homebrew and npm packages are
// measured on disk (allocatedSize of the package's folder); pip and gem packages get size 0.
// The packages each manager depends on itself (npm, pip, setuptools, …) are left out.
//
// Paths are Mac paths. A path that a child prints (npm's global root) is a host path and is
// taken back into the Mac; a root outside the Mac root measures nothing. A package name is
// measured only when it stays inside its package folder (no "." or ".." component).
//
// scanPackages blocks for as long as the children run (at most `timeout` each, plus the
// runner's stop sequence); run it in background work. Thread-safe; no state but the table of
// protected names, built once.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/DevPackage.h"
#include "app/core/PackageManagerKind.h"
#include "platform/MacPath.h"

namespace veldo::scanners::PackageScanner {

// One entry of a manager's listing.
struct ParsedPackage
{
    std::string name;
    std::string version; // possibly empty

    friend bool operator==(const ParsedPackage&, const ParsedPackage&) = default;
};

// Seconds each listing command may run.
inline constexpr std::chrono::milliseconds kListingTimeout = std::chrono::seconds(300);

using ProtectedNames = std::map<core::PackageManagerKind, std::set<std::string, std::less<>>>;

// The names each manager needs for itself: npm "npm", "corepack"; pip "pip", "setuptools",
// "wheel"; gem "bundler", "rubygems-update". The Homebrew kinds have no entry.
const ProtectedNames& protectedNames();

// Whether `manager` needs the package `name` itself. pip names are compared in their
// normalised form (normalizedPipName); npm and gem names exactly.
bool isProtected(std::string_view name, core::PackageManagerKind manager);

// The manager's executable: "brew" for both Homebrew kinds, "npm", "pip3" else "pip", and
// "gem" unless that is the system's "/usr/bin/gem". None when not found, and when a stop
// requested through `stop` ends the first look-up of the search path (the login shell's run).
std::optional<platform::MacPath> locatePackageTool(core::PackageManagerKind manager,
                                                   const std::stop_token& stop = {});

// One group per manager with at least one package, in the order brewFormula, brewCask, npm,
// pip, gem. Homebrew and npm packages largest first, pip and gem packages by name
// (case-insensitive, the locale's order); equal keys keep the listing's order. A stop requested
// through `stop` ends the running listing as its time-out would, starts no other and stops the
// measuring: the groups then hold what was read before (callers drop a stopped scan).
std::vector<core::PackageGroup> scanPackages(std::chrono::milliseconds timeout = kListingTimeout,
                                             std::stop_token stop = {});

// ---- The readers of each manager's output, for tests. None of them throws. ----

// brew "list --versions": per line the first word and the second (or "").
std::vector<ParsedPackage> parseBrewList(std::string_view output);
// npm "ls -g --depth=0 --json": the members of the object "dependencies", in the text's order.
std::vector<ParsedPackage> parseNpmList(std::string_view output);
// pip "list --format=json": the array's objects with a non-empty "name".
std::vector<ParsedPackage> parsePipList(std::string_view output);
// gem "list --local": "name (version, …)" lines; "default: …" versions don't count.
std::vector<ParsedPackage> parseGemList(std::string_view output);

// A pip name lowercased with every "_" and "." replaced by "-".
std::string normalizedPipName(std::string_view name);

} // namespace veldo::scanners::PackageScanner
