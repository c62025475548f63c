// Small rules over bundle identifiers that the orphan judge and scan driver use: the vendor of
// an identifier, a short display name for it, the index of parent identifiers, and whether a
// folder is or holds one of a list of paths.
//
// Pure functions of text; any thread.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace veldo::scanners::OrphanScanner {

// The vendor prefix: the first two parts ("com.vendor"), or the first three on a code-hosting
// site ("com.github.someone") when there are at least four parts; the identifier unchanged with
// fewer than two parts. Parts are split at "." with empty ones dropped.
std::string vendor(std::string_view identifier);

// A short name: the last part, or, when that is a generic word ("app", "helper", …) and there
// are at least two parts, the part before it with its first character upper-cased.
std::string displayName(std::string_view identifier);

// The identifiers of a scan and every parent identifier of those with four or more parts
// ("a.b.c.d.e" gives "a.b.c.d" and "a.b.c").
struct RelatedIDIndex
{
    std::unordered_set<std::string> ids;
    std::unordered_set<std::string> ancestors;

    explicit RelatedIDIndex(std::unordered_set<std::string> identifiers);

    // Whether the lower-cased `key` is one of the identifiers, a parent of one, or lies below
    // one: the part of `key` before some "." or "-" holds a "." and is an identifier (with
    // "com.vendor.app" listed, "com.vendor.app.helper" and "com.vendor.app-helper" match,
    // "com.vendor.apphelper" does not). False for an empty index.
    bool matches(std::string_view key) const;
};

// Whether some element of `paths` equals `path` or lies below it ("/a" holds "/a/b", not
// "/ab").
bool containsAnyPath(std::string_view path, const std::vector<std::string>& paths);

} // namespace veldo::scanners::OrphanScanner
