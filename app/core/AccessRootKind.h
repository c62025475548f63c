// AccessRootKind and ScopedAccessRoot: the four folders the app reads, and one of them.
#pragma once

#include <utility>

#include "base/RawValue.h"
#include "platform/MacPath.h"

namespace veldo::core {

enum class AccessRootKind
{
    applications,
    userApplications,
    userLibrary,
    systemLibrary
};

} // namespace veldo::core

template <>
struct veldo::base::EnumTraits<veldo::core::AccessRootKind>
{
    using AccessRootKind = veldo::core::AccessRootKind;

    static constexpr std::array<std::pair<AccessRootKind, std::string_view>, 4> kCases{{
        {AccessRootKind::applications, "applications"},
        {AccessRootKind::userApplications, "userApplications"},
        {AccessRootKind::userLibrary, "userLibrary"},
        {AccessRootKind::systemLibrary, "systemLibrary"},
    }};
};

namespace veldo::core {

// A folder of one kind. Its identity is the kind: a set of roots keyed by id() holds one per kind.
struct ScopedAccessRoot
{
    AccessRootKind kind = AccessRootKind::applications;
    platform::MacPath url;

    AccessRootKind id() const { return kind; }
    friend bool operator==(const ScopedAccessRoot&, const ScopedAccessRoot&) = default;
};

} // namespace veldo::core

template <>
struct std::hash<veldo::core::AccessRootKind>
{
    size_t operator()(veldo::core::AccessRootKind k) const noexcept
    {
        return veldo::base::hashByRawValue(k);
    }
};

template <>
struct std::hash<veldo::core::ScopedAccessRoot>
{
    size_t operator()(const veldo::core::ScopedAccessRoot& r) const noexcept
    {
        size_t seed = veldo::base::hashByRawValue(r.kind);
        veldo::base::hashCombine(seed, std::hash<veldo::platform::MacPath>{}(r.url));
        return seed;
    }
};
