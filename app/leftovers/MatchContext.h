// LeftoverScanner::MatchContext: what every leftover rule matches a name or path against.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// The two forms of an absolute path that MatchContext::containsInApp compares: standardised,
// and standardised with its symbolic links resolved (inside the Mac root; reads the file
// system).
struct PathForms
{
    std::string standard;
    std::string resolved;

    static PathForms of(std::string_view path);

    friend bool operator==(const PathForms&, const PathForms&) = default;
};

// Built once per scan and only read afterwards. Rules compare lower-cased file names with `id`
// and `embeddedIDs`, and build paths from `bundleID` so that built paths keep the identifier's
// own letter case.
struct MatchContext
{
    // The bundle identifier trimmed of white space and line breaks; none when absent or blank.
    std::optional<std::string> bundleID;
    // `bundleID` lower-cased; "" without one.
    std::string id;
    // Lower-cased identifiers of nested bundles that begin with `id` + "." (never `id` itself).
    std::unordered_set<std::string> embeddedIDs;
    // The app's path standardised with symbolic links resolved (inside the Mac root).
    std::string appPath;
    // The app's standardised path, links left as they are.
    std::string appStandardPath;
    // The app's name followed by its alternate names, unchanged.
    std::vector<std::string> names;

    // Builds the context. Resolving the app's path reads the file system (links only); nothing
    // fails: a path that can't be resolved is taken as written.
    static MatchContext make(const std::optional<std::string>& bundleIdentifier,
                             const platform::MacPath& appURL, std::vector<std::string> names,
                             const std::unordered_set<std::string>& embeddedIdentifiers);

    // True when the absolute `path` (standardised, and then also with its links resolved) lies
    // inside the app bundle, by either of the app's two paths. Letter case counts.
    bool containsInApp(std::string_view path) const;
    // The same test on forms computed before (read once for many apps).
    bool containsInApp(const PathForms& forms) const;

    friend bool operator==(const MatchContext&, const MatchContext&) = default;
};

} // namespace veldo::leftovers::LeftoverScanner
