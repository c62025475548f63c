// LaunchdJob: the few fields of a launchd job's property list that the scanners need.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/MacPath.h"
#include "platform/PlistValue.h"

namespace veldo::core {

struct LaunchdJob
{
    std::optional<std::string> label;
    std::optional<std::string> programPath;   // "Program", else the first "ProgramArguments"
    std::optional<std::string> bundleProgram; // relative to the job's app bundle
    std::vector<std::string> associatedBundleIdentifiers;

    // Reads the launchd property list at `plist` (any format). None when the file can't be
    // read, isn't a property list, or its top level is not a dictionary. A value of the wrong
    // type counts as missing; a job without a label is still a job.
    static std::optional<LaunchdJob> fromPlist(const platform::MacPath& plist);
    // The same reading over an already parsed value.
    static std::optional<LaunchdJob> fromValue(const platform::PlistValue& value);

    friend bool operator==(const LaunchdJob&, const LaunchdJob&) = default;
};

} // namespace veldo::core
