// The name matchers of the leftover rules.
#include "app/leftovers/NameMatchers.h"

#include <algorithm>

#include "app/core/LaunchdJob.h"
#include "app/leftovers/NameText.h"
#include "platform/Unicode.h"

namespace veldo::leftovers::LeftoverScanner {

using core::MatchConfidence;

namespace {

bool beginsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool continuesIdentifier(std::string_view name, const std::string& id)
{
    if (!beginsWith(name, id) || name.size() == id.size())
        return false;
    const char next = name[id.size()];
    return next == '.' || next == '-';
}

bool isOwnIdentifier(const std::string& name, const MatchContext& context)
{
    return name == context.id || context.embeddedIDs.contains(name);
}

// The name without a leading team identifier: ten upper-case letters or digits and a ".".
std::string_view withoutTeamPrefix(std::string_view name)
{
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos)
        return name;
    const std::string_view prefix = name.substr(0, dot);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < prefix.size();) {
        if (!isUppercaseLetterOrNumber(platform::decodeNext(prefix, i)))
            return name;
        ++characters;
    }
    return characters == 10 ? name.substr(dot + 1) : name;
}

// The start of the character that ends just before byte `i`, skipping marks that extend it.
char32_t characterBefore(std::string_view text, std::size_t i)
{
    char32_t c = platform::decodePrevious(text, i);
    while (i > 0 && extendsCharacter(c))
        c = platform::decodePrevious(text, i);
    return c;
}

} // namespace

std::optional<MatchConfidence> nameConfidence(std::string_view fileName,
                                              const MatchContext& context)
{
    if (context.id.empty())
        return std::nullopt;
    std::string n = platform::lowercased(fileName);
    if (endsWith(n, ".plist"))
        n.resize(n.size() - 6);
    if (isOwnIdentifier(n, context))
        return MatchConfidence::high;
    if (dotSeparatedPartCount(context.id) < 3)
        return std::nullopt;
    if (!beginsWith(n, context.id))
        return std::nullopt;
    if (continuesIdentifier(n, context.id))
        return beginsWith(context.id, "com.apple.") ? MatchConfidence::medium
                                                    : MatchConfidence::high;
    return MatchConfidence::medium;
}

std::optional<MatchConfidence> containerConfidence(std::string_view folderName,
                                                   const MatchContext& context)
{
    if (context.id.empty())
        return std::nullopt;
    std::string n = platform::lowercased(withoutTeamPrefix(folderName));
    if (beginsWith(n, "group."))
        n.erase(0, 6);
    if (isOwnIdentifier(n, context))
        return MatchConfidence::high;
    if (dotSeparatedPartCount(context.id) < 3)
        return std::nullopt;
    if (continuesIdentifier(n, context.id))
        return MatchConfidence::medium;
    return std::nullopt;
}

std::optional<LaunchdJobFacts> LaunchdJobFacts::read(const platform::MacPath& plist)
{
    const auto job = core::LaunchdJob::fromPlist(plist);
    if (!job)
        return std::nullopt;
    LaunchdJobFacts facts;
    facts.associatedIDs.reserve(job->associatedBundleIdentifiers.size());
    for (const auto& identifier : job->associatedBundleIdentifiers)
        facts.associatedIDs.push_back(platform::lowercased(identifier));
    if (job->programPath && beginsWith(*job->programPath, "/")) {
        facts.program = PathForms::of(*job->programPath);
        facts.programInSomeApp =
            platform::lowercased(*job->programPath).find(".app/") != std::string::npos;
    }
    return facts;
}

bool isPlistName(std::string_view fileName)
{
    // The extension follows the last "." when that is not the name's first character. No
    // character but the ASCII letters lower-cases to one of "plist", so a comparison of ASCII
    // letters is the lower-cased comparison.
    constexpr std::string_view kSuffix = ".plist";
    if (fileName.size() <= kSuffix.size())
        return false;
    const std::string_view tail = fileName.substr(fileName.size() - kSuffix.size());
    for (std::size_t i = 0; i < kSuffix.size(); ++i) {
        const char c = tail[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kSuffix[i])
            return false;
    }
    return true;
}

std::optional<MatchConfidence> launchdPlistConfidence(const platform::MacPath& plist,
                                                      const MatchContext& context)
{
    if (!isPlistName(plist.lastPathComponent()))
        return std::nullopt;
    return launchdPlistConfidence(plist.lastPathComponent(), LaunchdJobFacts::read(plist), context);
}

std::optional<MatchConfidence> launchdPlistConfidence(std::string_view fileName,
                                                      const std::optional<LaunchdJobFacts>& job,
                                                      const MatchContext& context)
{
    if (!isPlistName(fileName))
        return std::nullopt;
    const std::optional<MatchConfidence> byName = nameConfidence(fileName, context);

    bool associated = false;
    bool inside = false;
    bool otherApp = false;
    if (job) {
        associated = std::find(job->associatedIDs.begin(), job->associatedIDs.end(), context.id) !=
                     job->associatedIDs.end();
        if (job->program) {
            inside = context.containsInApp(*job->program);
            otherApp = !inside && job->programInSomeApp;
        }
    }

    if (byName == MatchConfidence::high)
        return otherApp ? MatchConfidence::medium : MatchConfidence::high;
    if (byName == MatchConfidence::medium) {
        if (inside || associated)
            return beginsWith(context.id, "com.apple.") ? MatchConfidence::medium
                                                        : MatchConfidence::high;
        return MatchConfidence::medium;
    }
    if (inside || associated)
        return MatchConfidence::medium;
    return std::nullopt;
}

bool nameMentions(std::string_view fileName, std::string_view name)
{
    const std::string f = platform::lowercased(fileName);
    const std::string n = platform::lowercased(platform::trimmedSpacesAndTabs(name));
    if (n.empty())
        return false;
    std::size_t from = 0;
    while (from <= f.size()) {
        const std::size_t at = f.find(n, from);
        if (at == std::string::npos)
            return false;
        const std::size_t end = at + n.size();
        const bool clearBefore = at == 0 || !isLetterOrNumber(characterBefore(f, at));
        bool clearAfter = end == f.size();
        if (!clearAfter) {
            std::size_t next = end;
            const char32_t after = platform::decodeNext(f, next);
            // An occurrence that stops inside a character (before a combining mark) is not one.
            clearAfter = !extendsCharacter(after) && !isLetterOrNumber(after);
        }
        if (clearBefore && clearAfter)
            return true;
        std::size_t next = at;
        platform::decodeNext(f, next);
        from = next;
    }
    return false;
}

std::unordered_set<std::string> nameKeys(const std::vector<std::string>& names)
{
    std::unordered_set<std::string> keys;
    for (const auto& name : names) {
        const std::string_view trimmed = platform::trimmedSpacesAndTabs(name);
        if (characterCount(trimmed) < 3)
            continue;
        std::string lowered = platform::lowercased(trimmed);
        std::string withoutSpaces;
        withoutSpaces.reserve(lowered.size());
        for (char c : lowered) {
            if (c != ' ')
                withoutSpaces.push_back(c);
        }
        keys.insert(std::move(lowered));
        keys.insert(std::move(withoutSpaces));
    }
    return keys;
}

} // namespace veldo::leftovers::LeftoverScanner
