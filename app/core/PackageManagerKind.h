// PackageManagerKind: the package managers whose packages the Developer Footprint lists.
#pragma once

#include <string_view>
#include <utility>

#include "app/core/RawValue.h"

namespace veldo::core {

enum class PackageManagerKind
{
    brewFormula,
    brewCask,
    npm,
    pip,
    gem
};

template <>
struct EnumTraits<PackageManagerKind>
{
    static constexpr std::array<std::pair<PackageManagerKind, std::string_view>, 5> kCases{{
        {PackageManagerKind::brewFormula, "brewFormula"},
        {PackageManagerKind::brewCask, "brewCask"},
        {PackageManagerKind::npm, "npm"},
        {PackageManagerKind::pip, "pip"},
        {PackageManagerKind::gem, "gem"},
    }};
};

} // namespace veldo::core

template <>
struct std::hash<veldo::core::PackageManagerKind>
{
    size_t operator()(veldo::core::PackageManagerKind k) const noexcept
    {
        return veldo::core::hashByRawValue(k);
    }
};
