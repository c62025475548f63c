// Entry names read as bundle identifiers, per location style.
#include "app/scanners/OrphanCandidate.h"

#include <algorithm>
#include <vector>

#include "app/leftovers/NameText.h"
#include "app/scanners/TextParts.h"
#include "platform/Unicode.h"

namespace veldo::scanners::OrphanScanner {

namespace {

using platform::lowercased;

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// `name` without `suffix` (ASCII, lower-case) when its lower-cased form ends with it; as many
// characters as the suffix has are dropped from the name as written.
std::optional<std::string> withoutSuffix(std::string_view name, std::string_view suffix)
{
    if (!endsWith(lowercased(name), suffix))
        return std::nullopt;
    std::size_t end = name.size();
    for (std::size_t i = 0; i < suffix.size() && end > 0; ++i)
        platform::decodePrevious(name, end);
    return std::string(name.substr(0, end));
}

// `text` without its first `count` code points.
std::string_view droppingPrefix(std::string_view text, std::size_t count)
{
    std::size_t at = 0;
    for (std::size_t i = 0; i < count && at < text.size(); ++i)
        platform::decodeNext(text, at);
    return text.substr(at);
}

// Whether every character of `text` starts with an upper-case letter or a number character.
bool isUppercaseOrNumberCharacters(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const bool startsText = at == 0;
        const char32_t c = platform::decodeNext(text, at);
        if ((startsText || !leftovers::extendsCharacter(c)) &&
            !leftovers::isUppercaseLetterOrNumber(c))
            return false;
    }
    return true;
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isIdentifierCharacter(char c)
{
    return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

} // namespace

const std::array<std::string_view, 74> topLevelDomains = {
    "com",    "org",      "net",    "edu",    "gov",      "int",     "mil",     "app",
    "dev",    "info",     "biz",    "name",   "pro",      "tech",    "xyz",     "online",
    "site",   "cloud",    "design", "studio", "software", "systems", "network", "digital",
    "works",  "tools",    "space",  "page",   "blog",     "email",   "link",    "live",
    "life",   "store",    "shop",   "games",  "media",    "codes",   "company", "solutions",
    "agency", "team",     "zone",   "one",    "run",      "build",   "fun",     "art",
    "photo",  "music",    "video",  "today",  "world",    "global",  "group",   "inc",
    "llc",    "ltd",      "gmbh",   "mobi",   "asia",     "berlin",  "london",  "nyc",
    "paris",  "tokyo",    "swiss",  "wtf",    "rocks",    "ninja",   "guru",    "lol",
    "moe",    "computer",
};

bool looksLikeBundleIdentifier(std::string_view text)
{
    const auto parts = partsKeepingEmpty(text, '.');
    if (parts.size() < 3 ||
        std::any_of(parts.begin(), parts.end(), [](std::string_view p) { return p.empty(); }))
        return false;
    const std::string first = lowercased(parts.front());
    if (!std::all_of(first.begin(), first.end(), isAsciiLetter))
        return false;
    if (first.size() != 2 &&
        std::find(topLevelDomains.begin(), topLevelDomains.end(), first) == topLevelDomains.end())
        return false;
    return std::all_of(parts.begin(), parts.end(), [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), isIdentifierCharacter);
    });
}

std::optional<Candidate> candidate(std::string_view name, NameStyle style,
                                   const std::optional<std::string>& label)
{
    std::optional<std::string> identifier;
    Candidate result;
    switch (style) {
    case NameStyle::bare:
    case NameStyle::helperTool:
        identifier = std::string(name);
        break;
    case NameStyle::plist:
        identifier = withoutSuffix(name, ".plist");
        break;
    case NameStyle::savedState:
        identifier = withoutSuffix(name, ".savedstate");
        break;
    case NameStyle::cookies:
        identifier = withoutSuffix(name, ".binarycookies");
        break;
    case NameStyle::httpStorage:
        identifier = withoutSuffix(name, ".binarycookies").value_or(std::string(name));
        break;
    case NameStyle::launchPlist: {
        auto stem = withoutSuffix(name, ".plist");
        if (!stem)
            return std::nullopt;
        const std::string_view trimmed =
            label ? platform::trimmedWhiteSpace(*label) : std::string_view();
        identifier = trimmed.empty() ? *stem : std::string(trimmed);
        break;
    }
    case NameStyle::groupPrefixed: {
        result.groupName = lowercased(name);
        std::string_view carried = name;
        if (const auto dot = name.find('.'); dot != std::string_view::npos) {
            const std::string_view prefix = name.substr(0, dot);
            if (leftovers::characterCount(prefix) == 10 && isUppercaseOrNumberCharacters(prefix)) {
                result.teamID = std::string(prefix);
                carried = name.substr(dot + 1);
            }
        }
        if (lowercased(carried).starts_with("group.")) {
            carried = droppingPrefix(carried, 6);
            result.isAppGroup = true;
        }
        identifier = std::string(carried);
        break;
    }
    }
    if (!identifier || !looksLikeBundleIdentifier(*identifier))
        return std::nullopt;
    result.id = std::move(*identifier);
    result.key = lowercased(result.id);
    if (style != NameStyle::groupPrefixed)
        result.groupName = result.key;
    return result;
}

} // namespace veldo::scanners::OrphanScanner
