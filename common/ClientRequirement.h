// The code-signing requirement the helper daemon places on every connecting client.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veldo::common {

// The requirement text, in the code-signing requirement language: the app's identifier
// "orbelkan.Veldo", Apple's generic anchor and the team's organisational unit always; with
// `strict`, also the Developer ID intermediate and leaf certificate markers and the refusal of a
// debuggable build; and, when `build` is a valid build number, a client CFBundleVersion of at
// least `build`. An absent or invalid build leaves that last clause out. The daemon's listener
// passes strict and its own build.
std::string clientRequirement(std::optional<std::string_view> build, bool strict);

} // namespace veldo::common
