// The matchers that rate a file or folder name against an app: file names, container names,
// launchd property lists and name mentions (crash reports).
//
// A matcher answers a confidence, or none when the name does not belong to the app. All are
// pure functions of their arguments except launchdPlistConfidence, which reads the property list
// and resolves symbolic links of the job's program path (blocking, any thread).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/core/MatchConfidence.h"
#include "app/leftovers/MatchContext.h"
#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// Rates a file name (a trailing ".plist" ignored) against the identifier: the identifier itself
// or a nested bundle's is high; for identifiers of at least three parts, a name continuing it
// with "." or "-" is high (medium for Apple's own "com.apple." identifiers) and one continuing it
// with any other character is medium. None without an identifier.
std::optional<core::MatchConfidence> nameConfidence(std::string_view fileName,
                                                    const MatchContext& context);

// Rates a container folder name: a leading 10-character team identifier (upper-case letters and
// digits) and a "group." prefix are removed first; then the identifier itself or a nested
// bundle's is high, and for identifiers of at least three parts a continuation with "." or "-"
// is medium.
std::optional<core::MatchConfidence> containerConfidence(std::string_view folderName,
                                                         const MatchContext& context);

// What the launchd rule reads of a job's property list, prepared once so that many apps can be
// rated against it.
struct LaunchdJobFacts
{
    // The AssociatedBundleIdentifiers entries, lower-cased.
    std::vector<std::string> associatedIDs;
    // The program path's forms, when it is absolute.
    std::optional<PathForms> program;
    // Whether the program path, lower-cased, holds ".app/".
    bool programInSomeApp = false;

    // Reads the property list at `plist` (blocking; resolves the program's links). None when it
    // is no launchd job.
    static std::optional<LaunchdJobFacts> read(const platform::MacPath& plist);

    friend bool operator==(const LaunchdJobFacts&, const LaunchdJobFacts&) = default;
};

// Rates a launchd property list by its file name and its job: a program inside the app bundle
// or an AssociatedBundleIdentifiers entry equal to the identifier raises the rating; a program
// inside some other ".app/" bundle lowers a high name match to medium. The job's Label is never
// consulted. None for files whose extension is not "plist".
std::optional<core::MatchConfidence> launchdPlistConfidence(const platform::MacPath& plist,
                                                            const MatchContext& context);
// The same rating of the file named `fileName` with its job read before (none: no job).
std::optional<core::MatchConfidence>
launchdPlistConfidence(std::string_view fileName, const std::optional<LaunchdJobFacts>& job,
                       const MatchContext& context);

// Whether the launchd rule reads the file named `fileName` (its extension is "plist").
bool isPlistName(std::string_view fileName);

// True when `name` (trimmed of spaces and tabs) occurs in `fileName`, both lower-cased, with
// neither a letter nor a number directly before or after the occurrence.
bool nameMentions(std::string_view fileName, std::string_view name);

// The lower-cased forms of the names that have at least three characters once trimmed of
// spaces and tabs, each also with every space removed.
std::unordered_set<std::string> nameKeys(const std::vector<std::string>& names);

} // namespace veldo::leftovers::LeftoverScanner
