// Volume stamps: the file system's UUID (or f_fsid) with the device number it is mounted under.
#include "common/HelperVolumeStamp.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <sys/ioctl.h>
#include <sys/stat.h>

#include "base/SystemCalls.h"
#include "common/HelperSystemCalls.h"
#include "platform/UUID.h"

namespace veldo::common {

namespace {

// struct fsuuid2 and FS_IOC_GETFSUUID of Linux 6.9, which older headers lack.
struct FsUuid2
{
    std::uint8_t len;
    std::uint8_t uuid[16];
};
static_assert(sizeof(FsUuid2) == 17);
constexpr unsigned long kGetFsUuid = _IOR(0x15, 0, FsUuid2);

using UUIDReader = std::function<std::optional<VolumeUUID>(int)>;
using FileSystemIDReader = std::function<std::optional<std::uint64_t>(int)>;

struct Hooks
{
    std::mutex mutex;
    UUIDReader uuidReader;
    FileSystemIDReader fileSystemIDReader;
};

Hooks& hooks()
{
    static Hooks h;
    return h;
}

enum class Answer
{
    uuid,     // the kernel gave the file system's UUID
    noAnswer, // the kernel or the file system has none to give: use f_fsid
    failed,   // the question could not be asked: no stamp
};

Answer queryFileSystemUUID(int fd, mode_t type, VolumeUUID& uuid)
{
    UUIDReader reader;
    {
        std::lock_guard lock(hooks().mutex);
        reader = hooks().uuidReader;
    }
    if (reader) {
        const auto answer = reader(fd);
        if (!answer)
            return Answer::noAnswer;
        uuid = *answer;
        return Answer::uuid;
    }

    UniqueFd owned;
    const int readable = detail::readableDescriptor(fd, type, owned);
    if (readable < 0)
        return Answer::failed;
    FsUuid2 answer = {};
    const int rc = base::retryOnInterrupt([&] { return ::ioctl(readable, kGetFsUuid, &answer); });
    if (rc != 0)
        return errno == ENOTTY || errno == EINVAL || errno == EOPNOTSUPP ? Answer::noAnswer
                                                                         : Answer::failed;
    uuid.fill(0);
    std::memcpy(uuid.data(), answer.uuid, std::min<std::size_t>(answer.len, uuid.size()));
    return Answer::uuid;
}

bool isZero(const VolumeUUID& uuid)
{
    return std::all_of(uuid.begin(), uuid.end(), [](std::uint8_t b) { return b == 0; });
}

// f_fsid as one 64-bit value (its first word in the low half).
std::optional<std::uint64_t> fileSystemID(int fd)
{
    FileSystemIDReader reader;
    {
        std::lock_guard lock(hooks().mutex);
        reader = hooks().fileSystemIDReader;
    }
    if (reader)
        return reader(fd);
    return detail::fileSystemID(fd);
}

} // namespace

std::optional<HelperVolumeStamp>
HelperVolumeStamp::fromDescriptor(const SharedDescriptor& descriptor)
{
    return fromDescriptor(descriptor.fd());
}

std::optional<HelperVolumeStamp> HelperVolumeStamp::fromDescriptor(int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    // The file system's UUID; where the kernel has none to give (or gives all zeros, as some
    // images do), f_fsid in the first eight bytes. All zero in the end: no stamp.
    VolumeUUID uuid{};
    switch (queryFileSystemUUID(fd, st.st_mode & S_IFMT, uuid)) {
    case Answer::uuid:
        if (!isZero(uuid))
            break;
        [[fallthrough]];
    case Answer::noAnswer: {
        const auto fsid = fileSystemID(fd);
        if (!fsid)
            return std::nullopt;
        uuid.fill(0);
        for (std::size_t b = 0; b < 8; ++b)
            uuid[b] = static_cast<std::uint8_t>(*fsid >> (8 * b));
        break;
    }
    case Answer::failed:
        return std::nullopt;
    }
    if (isZero(uuid))
        return std::nullopt;
    return HelperVolumeStamp{uuid, static_cast<std::int64_t>(st.st_dev)};
}

std::string HelperVolumeStamp::uuidString() const
{
    return platform::UUID{uuid}.string();
}

std::optional<VolumeUUID> HelperVolumeStamp::parseUUID(std::string_view text)
{
    if (auto id = platform::UUID::parse(text))
        return id->bytes;
    return std::nullopt;
}

HelperFileIdentity remapDevice(const HelperFileIdentity& identity,
                               const std::optional<HelperVolumeStamp>& recorded,
                               const std::optional<HelperVolumeStamp>& current)
{
    if (recorded && current && recorded->uuid == current->uuid &&
        identity.device == recorded->device) {
        HelperFileIdentity moved = identity;
        moved.device = current->device;
        return moved;
    }
    return identity;
}

namespace testing {

void setVolumeUUIDReader(std::function<std::optional<VolumeUUID>(int fd)> reader)
{
    std::lock_guard lock(hooks().mutex);
    hooks().uuidReader = std::move(reader);
}

void setFileSystemIDReader(std::function<std::optional<std::uint64_t>(int fd)> reader)
{
    std::lock_guard lock(hooks().mutex);
    hooks().fileSystemIDReader = std::move(reader);
}

} // namespace testing

} // namespace veldo::common
