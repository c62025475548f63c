// File stamps: identity and times of a file, and whether a reading of it may be racy.
#include "platform/FileStamp.h"

#include <ctime>

namespace veldo::platform {

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
// Longer than a tick of the kernel's coarse clock (at most 10 ms) with room to spare.
constexpr std::int64_t kRacyWindow = 100'000'000;
// For file systems that keep whole seconds, or two (FAT), and round down.
constexpr std::int64_t kWholeSecondRacyWindow = 2 * kNanosecondsPerSecond + kRacyWindow;

std::int64_t nanosecondsOf(const FileTime& t)
{
    return t.seconds * kNanosecondsPerSecond + t.nanoseconds;
}

} // namespace

FileStamp FileStamp::of(const MacPath& path)
{
    if (auto status = fileStatus(path, FollowLinks::yes))
        return of(*status);
    return {};
}

FileStamp FileStamp::of(const FileStatus& status)
{
    FileStamp stamp;
    stamp.present = true;
    stamp.device = status.device;
    stamp.inode = status.inode;
    stamp.birthTime = status.birthTime;
    stamp.modified = status.modificationTime;
    stamp.changed = status.changeTime;
    return stamp;
}

bool FileStamp::isRacy(std::int64_t readAt) const
{
    if (!present)
        return false;
    const std::int64_t window = changed.nanoseconds == 0 ? kWholeSecondRacyWindow : kRacyWindow;
    return readAt - nanosecondsOf(changed) < window;
}

std::int64_t realTimeNanoseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t{now.tv_sec} * kNanosecondsPerSecond + now.tv_nsec;
}

} // namespace veldo::platform
