// PackageManagerKind: the package managers whose packages the Developer Footprint lists.
#pragma once

#include <string_view>
#include <utility>

#include "base/RawValue.h"

namespace veldo::core {

enum class PackageManagerKind
{
    brewFormula,
    brewCask,
    npm,
    pip,
    gem
};

} // namespace veldo::core

template <>
struct veldo::base::EnumTraits<veldo::core::PackageManagerKind>
{
    using PackageManagerKind = veldo::core::PackageManagerKind;

    static constexpr std::array<std::pair<PackageManagerKind, std::string_view>, 5> kCases{{
        {PackageManagerKind::brewFormula, "brewFormula"},
        {PackageManagerKind::brewCask, "brewCask"},
        {PackageManagerKind::npm, "npm"},
        {PackageManagerKind::pip, "pip"},
        {PackageManagerKind::gem, "gem"},
    }};
};

template <>
struct std::hash<veldo::core::PackageManagerKind>
{
    size_t operator()(veldo::core::PackageManagerKind k) const noexcept
    {
        return veldo::base::hashByRawValue(k);
    }
};
