// BuildFloor: the helper's rollback guard. The state folder's "highest-build" holds the highest
// build that ever ran on this Mac; an older daemon does not serve.
//
// The state folder must be a folder of the effective user, mode exactly 0700, without ACL entries,
// reached without a symbolic link; "highest-build" a regular file of the effective user with one
// link and 1 to 64 bytes whose trimmed text is a build number. It is only ever replaced whole
// (".highest-build.<UUID>" renamed over it) and never repaired: anything unexpected makes the
// floor `unknown`, with the file left as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/SharedDescriptor.h"

namespace veldo::helper {

struct BuildFloorResult
{
    enum class Kind
    {
        ok,
        older,   // `recorded` is higher than the daemon's build
        unknown, // the floor could not be checked or recorded
    };
    Kind kind = Kind::unknown;
    std::string recorded; // for `older`

    friend bool operator==(const BuildFloorResult&, const BuildFloorResult&) = default;
};

struct HighestBuild
{
    enum class Kind
    {
        none,
        recorded,
        unknown,
    };
    Kind kind = Kind::unknown;
    std::string build; // for `recorded`
};

// The check of `build` against the state folder at the Mac path `stateDirectory` (see above);
// records the build when it is new or higher.
BuildFloorResult checkBuildFloor(const std::string& build, const std::string& stateDirectory);

// Makes the state folder (0700) when missing and opens it; none when it fails the rules.
std::optional<common::SharedDescriptor> openStateDirectory(const std::string& path);

HighestBuild readHighestBuild(const common::SharedDescriptor& directory);

// Replaces "highest-build" with `build` and a line feed; false (nothing left behind) on failure.
bool writeHighestBuild(const std::string& build, const common::SharedDescriptor& directory);

// Whether `name` is the temporary file of a write of "highest-build" (".highest-build." and a
// UUID's canonical text), which only a write cut off leaves behind.
bool isHighestBuildTemporary(std::string_view name);

} // namespace veldo::helper
