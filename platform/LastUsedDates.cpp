// Last-used dates from the access time of a bundle's main executable.
#include "platform/LastUsedDates.h"

#include "platform/BundleExecutable.h"
#include "platform/MacFileSystem.h"

namespace veldo::platform {

std::optional<LastUsedDateSource::TimePoint>
ExecutableAccessTime::lastUsedDate(const MacPath& bundle) const
{
    std::string executable =
        bundleExecutableName(bundle).value_or(bundle.deletingPathExtension().lastPathComponent());
    if (!isPlainFileName(executable))
        return std::nullopt;

    auto st = fileStatus(bundleExecutablePath(bundle, executable), FollowLinks::yes);
    if (!st || st->type != FileType::regular)
        return std::nullopt;
    return TimePoint(std::chrono::duration_cast<TimePoint::duration>(
        std::chrono::seconds(st->accessTime.seconds) +
        std::chrono::nanoseconds(st->accessTime.nanoseconds)));
}

const ExecutableAccessTime& ExecutableAccessTime::shared()
{
    static const ExecutableAccessTime source;
    return source;
}

} // namespace veldo::platform
