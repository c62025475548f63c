// Reading cask records from brew's JSON, from Ruby cask source and from "config.json".
#include "app/leftovers/HomebrewCaskRecords.h"

#include <algorithm>

#include "app/leftovers/HomebrewText.h"
#include "app/leftovers/NameText.h"
#include "common/JsonDocument.h"
#include "platform/MacPath.h"
#include "platform/Unicode.h"

namespace veldo::leftovers::HomebrewCasks {

namespace {

using nlohmann::json;

// Far deeper than brew's JSON (about eight levels), low enough that no hostile file of brackets
// makes the parser build a tower of nested values.
constexpr std::size_t kMaxJsonNesting = 256;

std::optional<std::string> stringField(const json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return std::nullopt;
    return it->get<std::string>();
}

void appendUnique(std::vector<std::string>& list, std::string value)
{
    if (std::find(list.begin(), list.end(), value) == list.end())
        list.push_back(std::move(value));
}

// Fills appTargets (no repeats, first kept) and appNames (their last components, no repeats).
void setApps(CaskInfo& info, const std::vector<std::string>& targets)
{
    for (const auto& target : targets)
        appendUnique(info.appTargets, target);
    for (const auto& target : info.appTargets)
        appendUnique(info.appNames, platform::MacPath(target).lastPathComponent());
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

std::string shortToken(std::string_view token)
{
    std::string_view last;
    std::string_view rest = token;
    for (;;) {
        const auto slash = rest.find('/');
        const auto piece = rest.substr(0, slash);
        if (!piece.empty())
            last = piece;
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return std::string(last.empty() ? token : last);
}

std::optional<json> parseJson(std::string_view text)
{
    return common::json::parse(text, kMaxJsonNesting);
}

std::optional<CaskInfo> caskInfoFromJson(const json& object,
                                         const std::optional<std::string>& token,
                                         const std::optional<std::string>& version)
{
    if (!object.is_object())
        return std::nullopt;
    const std::optional<std::string> tap = stringField(object, "tap");
    std::optional<std::string> name = stringField(object, "token");
    if (!name)
        name = token;
    if (!name || name->empty())
        return std::nullopt;
    if (tap && *tap != "homebrew/cask") {
        // An empty full token would name no cask at all; the short one still does.
        if (auto full = stringField(object, "full_token"); full && !full->empty())
            name = std::move(full);
    }

    CaskInfo info;
    info.token = std::move(*name);
    if (version)
        info.version = *version;
    else if (auto installed = stringField(object, "installed"))
        info.version = std::move(*installed);
    else if (auto stated = stringField(object, "version"))
        info.version = std::move(*stated);

    std::vector<std::string> targets;
    const auto artifacts = object.find("artifacts");
    if (artifacts != object.end() && artifacts->is_array()) {
        for (const json& artifact : *artifacts) {
            if (!artifact.is_object())
                continue;
            if (const auto app = artifact.find("app"); app != artifact.end() && app->is_array()) {
                for (auto& target : appArtifactNames(*app))
                    targets.push_back(std::move(target));
            }
            if (artifact.contains("zap"))
                info.hasZap = true;
            if (artifact.contains("pkg"))
                info.usesInstallerPackage = true;
        }
    }
    setApps(info, targets);
    return info;
}

std::vector<std::string> appArtifactNames(const json& array)
{
    std::vector<std::string> names;
    if (!array.is_array())
        return names;
    for (std::size_t i = 0; i < array.size(); ++i) {
        if (!array[i].is_string())
            continue;
        std::string candidate =
            platform::MacPath(array[i].get_ref<const std::string&>()).lastPathComponent();
        if (i + 1 < array.size() && array[i + 1].is_object()) {
            if (auto target = stringField(array[i + 1], "target"); target && !target->empty()) {
                candidate = std::move(*target);
                ++i;
            }
        }
        if (detail::endsWithAppExtension(candidate))
            names.push_back(std::move(candidate));
    }
    return names;
}

CaskInfo caskInfoFromRubySource(std::string_view text, const std::string& token,
                                const std::string& version)
{
    CaskInfo info;
    info.token = token;
    info.version = version;
    std::vector<std::string> targets;
    for (const std::string_view rawLine : detail::nonEmptyLines(text)) {
        const std::string_view line = platform::trimmedSpacesAndTabs(rawLine);
        if (startsWith(line, "#"))
            continue;
        if (startsWith(line, "zap ") || line == "zap")
            info.hasZap = true;
        if (startsWith(line, "pkg "))
            info.usesInstallerPackage = true;
        if (!startsWith(line, "app "))
            continue;
        const auto literals = quotedLiterals(line.substr(4));
        if (literals.empty())
            continue;
        std::string candidate = platform::MacPath(literals.front()).lastPathComponent();
        if (const auto target = line.find("target:"); target != std::string_view::npos) {
            const auto targetLiterals = quotedLiterals(line.substr(target + 7));
            if (!targetLiterals.empty() && !targetLiterals.front().empty())
                candidate = targetLiterals.front();
        }
        if (detail::endsWithAppExtension(candidate) && candidate.find("#{") == std::string::npos)
            targets.push_back(std::move(candidate));
    }
    setApps(info, targets);
    return info;
}

std::vector<std::string> quotedLiterals(std::string_view text)
{
    std::vector<std::string> literals;
    std::string current;
    char quote = 0; // the quote that opened the current literal; 0 outside one
    bool escaped = false;
    for (const char c : text) {
        if (quote == 0) {
            if (c == '"' || c == '\'') {
                quote = c;
                current.clear();
            } else if (c == '#') {
                break;
            }
            continue;
        }
        if (escaped) {
            current.push_back(c);
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (c == quote) {
            literals.push_back(std::move(current));
            current.clear();
            quote = 0;
        } else {
            current.push_back(c);
        }
    }
    return literals;
}

std::optional<std::string> configuredAppdir(std::string_view bytes)
{
    const auto document = parseJson(bytes);
    if (!document || !document->is_object())
        return std::nullopt;
    for (const char* key : {"explicit", "env", "default"}) {
        const auto it = document->find(key);
        if (it == document->end() || !it->is_object())
            continue;
        if (auto appdir = stringField(*it, "appdir"); appdir && !appdir->empty())
            return appdir;
    }
    return std::nullopt;
}

std::vector<CaskInfo> parseInstalledCasks(std::string_view output)
{
    const auto document = parseJson(output);
    if (!document || !document->is_object())
        return {};
    const auto casks = document->find("casks");
    if (casks == document->end() || !casks->is_array())
        return {};
    if (!std::all_of(casks->begin(), casks->end(), [](const json& c) { return c.is_object(); }))
        return {};
    std::vector<CaskInfo> records;
    for (const json& cask : *casks) {
        if (auto info = caskInfoFromJson(cask, std::nullopt, std::nullopt))
            records.push_back(std::move(*info));
    }
    return records;
}

} // namespace veldo::leftovers::HomebrewCasks
