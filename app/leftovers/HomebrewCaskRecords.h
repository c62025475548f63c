// Readers of Homebrew's cask records: brew's JSON, the Ruby cask source kept in the Caskroom's
// bookkeeping, and the Caskroom's "config.json".
//
// Pure functions of their input, safe from any thread. None throws: whatever cannot be read is
// left out (no record, no name, an absent folder).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/leftovers/CaskInfo.h"

namespace veldo::leftovers::HomebrewCasks {

// The last non-empty piece of `token` split at "/" ("user/tap/name" gives "name"); a token
// without non-empty pieces is its own short token.
std::string shortToken(std::string_view token);

// Parses `text` as JSON without throwing. None for text that is not JSON, not UTF-8, or nested
// deeper than a bound far beyond what brew writes.
std::optional<nlohmann::json> parseJson(std::string_view text);

// The record of one cask in brew's JSON form. `token` and `version` are fallbacks (a folder's
// name and its installed version): the object's "token" wins over `token`, `version` wins over
// the object's "installed" and "version". A cask of a tap other than "homebrew/cask" is named
// by its "full_token". None without a non-empty token.
std::optional<CaskInfo> caskInfoFromJson(const nlohmann::json& object,
                                         const std::optional<std::string>& token,
                                         const std::optional<std::string>& version);

// The record of one cask read from its Ruby source: the "app" lines (with their "target:"),
// and whether "zap" and "pkg" stanzas are there. Names holding an interpolation ("#{") are left
// out. Always a record, named by `token` and `version`.
CaskInfo caskInfoFromRubySource(std::string_view text, const std::string& token,
                                const std::string& version);

// The quoted literals of a line of Ruby, in order: double- or single-quoted, a backslash taking
// the next character as it is, "#" outside a literal ending the line; an unclosed literal is
// dropped.
std::vector<std::string> quotedLiterals(std::string_view text);

// The app targets of an "app" artifact array: each string's last path component, or the
// "target" of an object right after it (unchanged) when that is a non-empty string; only those
// ending in ".app" in any letter case.
std::vector<std::string> appArtifactNames(const nlohmann::json& array);

// The applications folder in a Caskroom "config.json": the first non-empty "appdir" of the
// objects "explicit", "env" and "default", in that order; none otherwise.
std::optional<std::string> configuredAppdir(std::string_view bytes);

// The records of the output of "brew info --cask --json=v2 --installed": one per object of the
// "casks" array, in order. None when the output is not an object with a "casks" array of
// objects.
std::vector<CaskInfo> parseInstalledCasks(std::string_view output);

} // namespace veldo::leftovers::HomebrewCasks
