// Vendor, display name, parent identifiers and path containment over bundle identifiers.
#include "app/scanners/OrphanIdentifiers.h"

#include <algorithm>
#include <array>

#include "app/leftovers/NameText.h"
#include "app/scanners/TextParts.h"
#include "platform/Unicode.h"

namespace veldo::scanners::OrphanScanner {

namespace {

// The text with its first character (a code point and what extends it) upper-cased.
std::string capitalizedFirstCharacter(std::string_view text)
{
    std::size_t end = 0;
    platform::decodeNext(text, end);
    for (std::size_t next = end; next < text.size(); end = next) {
        if (!leftovers::extendsCharacter(platform::decodeNext(text, next)))
            break;
    }
    return platform::uppercased(text.substr(0, end)) + std::string(text.substr(end));
}

} // namespace

std::string vendor(std::string_view identifier)
{
    static constexpr std::array<std::string_view, 6> kCodeHosts = {
        "github", "gitlab", "googlecode", "sourceforge", "bitbucket", "codeberg"};
    const auto parts = nonEmptyParts(identifier, '.');
    if (parts.size() < 2)
        return std::string(identifier);
    const bool hosted =
        std::find(kCodeHosts.begin(), kCodeHosts.end(), parts[1]) != kCodeHosts.end();
    return joinedLeading(parts, hosted && parts.size() >= 4 ? 3 : 2, ".");
}

std::string displayName(std::string_view identifier)
{
    static constexpr std::array<std::string_view, 16> kGenericWords = {
        "app",   "client", "desktop",  "mac",         "macos", "osx",      "main",    "helper",
        "agent", "daemon", "launcher", "application", "gui",   "electron", "release", "stable"};
    const auto parts = nonEmptyParts(identifier, '.');
    if (parts.empty())
        return std::string(identifier);
    const std::string last = platform::lowercased(parts.back());
    if (parts.size() >= 2 &&
        std::find(kGenericWords.begin(), kGenericWords.end(), last) != kGenericWords.end())
        return capitalizedFirstCharacter(parts[parts.size() - 2]);
    return std::string(parts.back());
}

RelatedIDIndex::RelatedIDIndex(std::unordered_set<std::string> identifiers)
    : ids(std::move(identifiers))
{
    for (const std::string& id : ids) {
        const auto parts = nonEmptyParts(id, '.');
        for (std::size_t count = parts.size(); count >= 4; --count)
            ancestors.insert(joinedLeading(parts, count - 1, "."));
    }
}

bool RelatedIDIndex::matches(std::string_view key) const
{
    if (ids.empty())
        return false;
    const std::string whole(key);
    if (ids.contains(whole) || ancestors.contains(whole))
        return true;
    bool sawDot = false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] != '.' && key[i] != '-')
            continue;
        // The part before this character holds a "." once a "." has been passed.
        if (sawDot && ids.contains(std::string(key.substr(0, i))))
            return true;
        sawDot = sawDot || key[i] == '.';
    }
    return false;
}

bool containsAnyPath(std::string_view path, const std::vector<std::string>& paths)
{
    return std::any_of(paths.begin(), paths.end(), [&](const std::string& candidate) {
        return candidate == path ||
               (candidate.size() > path.size() && candidate.compare(0, path.size(), path) == 0 &&
                candidate[path.size()] == '/');
    });
}

} // namespace veldo::scanners::OrphanScanner
