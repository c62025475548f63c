// When an app bundle was last used: the source of the last-used dates shown in the app list.
#pragma once

#include <chrono>
#include <optional>

#include "platform/MacPath.h"

namespace veldo::platform {

class LastUsedDateSource
{
public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~LastUsedDateSource() = default;
    // The last-used date of the bundle at `bundle`; none when there is none to tell. Blocks on
    // the file system; never fails otherwise.
    virtual std::optional<TimePoint> lastUsedDate(const MacPath& bundle) const = 0;
};

// The access time of the bundle's main executable: "Contents/MacOS/" followed by the
// CFBundleExecutable of "Contents/Info.plist", or by the bundle's name without its extension
// when the dictionary names none (or names something that is not a plain file name). Starting a
// program reads its executable, which updates the access time (under relatime at least once a
// day and always after a change). None when the executable is missing or not a regular file.
// Links are resolved inside the Mac root. Thread-safe.
class ExecutableAccessTime final : public LastUsedDateSource
{
public:
    std::optional<TimePoint> lastUsedDate(const MacPath& bundle) const override;
    static const ExecutableAccessTime& shared();
};

} // namespace veldo::platform
