// HelperFileIdentity: proof that a file or folder is still the one seen before.
//
// (device, inode) alone is not enough on Linux: ext4 hands a freed inode number to the next new
// file at once. So the identity also carries the birth time where the file system reports one.
// Two identities are equal when device and inode are equal and, when both carry a birth time,
// the birth times are equal too; an identity without a birth time proves less, never more.
// Hashing uses device and inode only, so equal identities always hash alike. Birth times
// resolve to the file system's clock tick: two files born within one tick are not told apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "base/RawValue.h"
#include "platform/MacFileSystem.h"

namespace veldo::common {

struct HelperFileIdentity
{
    std::int64_t device = 0; // st_dev, its bits kept as they are
    std::uint64_t inode = 0; // st_ino
    std::optional<platform::FileTime> birthTime;

    friend bool operator==(const HelperFileIdentity& a, const HelperFileIdentity& b)
    {
        if (a.device != b.device || a.inode != b.inode)
            return false;
        return !a.birthTime || !b.birthTime || *a.birthTime == *b.birthTime;
    }
};

} // namespace veldo::common

template <>
struct std::hash<veldo::common::HelperFileIdentity>
{
    std::size_t operator()(const veldo::common::HelperFileIdentity& id) const noexcept
    {
        std::size_t seed = std::hash<std::int64_t>{}(id.device);
        veldo::base::hashCombine(seed, std::hash<std::uint64_t>{}(id.inode));
        return seed;
    }
};
