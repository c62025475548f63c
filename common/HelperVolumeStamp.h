// HelperVolumeStamp: the identity of a volume, (UUID, device number), so that file identities
// taken before a remount can be compared after it.
//
// Device numbers change between mounts; the UUID does not. On Linux the UUID is the file
// system's own (FS_IOC_GETFSUUID, Linux 6.9 and later) and, where the kernel has no answer or
// answers all zeros (file systems made without a UUID), the 64-bit f_fsid of statfs in the first
// eight bytes (the rest zero). When that is zero too the volume has no stamp. Nothing here
// throws, follows a link or keeps state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/HelperDescriptor.h"
#include "common/HelperFileIdentity.h"

namespace veldo::common {

using VolumeUUID = std::array<std::uint8_t, 16>;

struct HelperVolumeStamp
{
    VolumeUUID uuid{};
    std::int64_t device = 0; // st_dev under which the volume was mounted when stamped

    // The stamp of the volume holding the open object; none when its status or its UUID cannot
    // be read, or the UUID is all zero. Any descriptor kind works (O_PATH included).
    static std::optional<HelperVolumeStamp> fromDescriptor(const HelperDescriptor& descriptor);
    static std::optional<HelperVolumeStamp> fromDescriptor(int fd);

    // The UUID in its standard upper-case text form ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"),
    // as records store it under the key "uuid".
    std::string uuidString() const;
    // Parses that form (either letter case); none for anything else.
    static std::optional<VolumeUUID> parseUUID(std::string_view text);

    friend bool operator==(const HelperVolumeStamp&, const HelperVolumeStamp&) = default;
};

// The identity translated to the current mount: when both stamps exist, their UUIDs are equal
// and the identity's device is the recorded stamp's device, the identity with the current
// stamp's device (inode and birth time kept); otherwise the identity unchanged.
HelperFileIdentity remapDevice(const HelperFileIdentity& identity,
                               const std::optional<HelperVolumeStamp>& recorded,
                               const std::optional<HelperVolumeStamp>& current);

namespace testing {
// Replaces the file-system UUID query (FS_IOC_GETFSUUID) for the volume stamp; the reader gets
// a descriptor and answers none where the kernel would have no answer. An empty function
// restores the real query. Test-only; not to be called while other threads take stamps.
void setVolumeUUIDReader(std::function<std::optional<VolumeUUID>(int fd)> reader);
// Replaces the f_fsid query the same way (none: statfs failed).
void setFileSystemIDReader(std::function<std::optional<std::uint64_t>(int fd)> reader);
} // namespace testing

} // namespace veldo::common

template <>
struct std::hash<veldo::common::HelperVolumeStamp>
{
    std::size_t operator()(const veldo::common::HelperVolumeStamp& stamp) const noexcept
    {
        std::size_t h = std::hash<std::int64_t>{}(stamp.device);
        for (const std::uint8_t byte : stamp.uuid)
            h = h * 1099511628211ULL ^ byte;
        return h;
    }
};
