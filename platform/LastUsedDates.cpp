// Last-used dates from the access time of a bundle's main executable.
#include "platform/LastUsedDates.h"

#include "platform/MacFileSystem.h"
#include "platform/PropertyList.h"

namespace veldo::platform {

namespace {

constexpr std::size_t kMaxInfoBytes = std::size_t{4} << 20;

bool isPlainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace

std::optional<LastUsedDateSource::TimePoint>
ExecutableAccessTime::lastUsedDate(const MacPath& bundle) const
{
    const MacPath contents = bundle.appendingPathComponent("Contents");
    std::string executable;
    if (auto info =
            readPropertyListFile(contents.appendingPathComponent("Info.plist"), kMaxInfoBytes)) {
        if (auto name = info->stringFor("CFBundleExecutable"); name && isPlainFileName(*name))
            executable = *name;
    }
    if (executable.empty())
        executable = bundle.deletingPathExtension().lastPathComponent();
    if (!isPlainFileName(executable))
        return std::nullopt;

    auto st =
        fileStatus(contents.appendingPathComponent("MacOS").appendingPathComponent(executable),
                   FollowLinks::yes);
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
