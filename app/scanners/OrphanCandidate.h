// Reading an entry name of an orphan-scan location as the identifier of some app, and the test
// that a string looks like a reverse-DNS bundle identifier.
//
// Pure functions of text; any thread. A name that its style can't read, or whose identifier
// does not look like a bundle identifier, gives no candidate: it is never considered at all.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/scanners/OrphanLocation.h"

namespace veldo::scanners::OrphanScanner {

// What a readable entry name says.
struct Candidate
{
    std::string id;        // the identifier as written (suffix, team prefix and "group." removed)
    std::string key;       // `id` lower-cased: what is compared and grouped by
    std::string groupName; // groupPrefixed: the whole name lower-cased; else equal to `key`
    std::optional<std::string> teamID; // groupPrefixed: the ten-character team prefix as written
    bool isAppGroup = false;           // groupPrefixed: the name was "group." + identifier

    friend bool operator==(const Candidate&, const Candidate&) = default;
};

// The first parts (lower-cased) that a bundle identifier may start with, besides any two ASCII
// letters.
extern const std::array<std::string_view, 74> topLevelDomains;

// The candidate the entry `name` gives in a folder of `style`; `label` is the launchd job's
// label, read by the caller for launchPlist entries only.
std::optional<Candidate> candidate(std::string_view name, NameStyle style,
                                   const std::optional<std::string>& label = std::nullopt);

// At least three non-empty parts split at "."; the first, lower-cased, is ASCII letters and
// either two of them or a listed top-level domain; every character of every part is an ASCII
// letter, digit, "-" or "_".
bool looksLikeBundleIdentifier(std::string_view text);

} // namespace veldo::scanners::OrphanScanner
