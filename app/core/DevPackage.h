// DevPackage and PackageGroup: one installed package of a manager, and a manager's packages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/PackageManagerKind.h"

namespace veldo::core {

struct DevPackage
{
    PackageManagerKind manager = PackageManagerKind::brewFormula;
    std::string name;
    std::string version;
    std::int64_t sizeBytes = 0;

    // Identity: "<manager raw value>:<name>", so one name appears once per manager.
    std::string id() const { return std::string(rawValue(manager)) + ":" + name; }

    friend bool operator==(const DevPackage&, const DevPackage&) = default;
};

struct PackageGroup
{
    PackageManagerKind manager = PackageManagerKind::brewFormula;
    std::vector<DevPackage> packages;

    PackageManagerKind id() const { return manager; }
    friend bool operator==(const PackageGroup&, const PackageGroup&) = default;
};

} // namespace veldo::core

template <>
struct std::hash<veldo::core::DevPackage>
{
    size_t operator()(const veldo::core::DevPackage& p) const noexcept
    {
        using veldo::base::hashCombine;
        size_t seed = veldo::base::hashByRawValue(p.manager);
        hashCombine(seed, std::hash<std::string>{}(p.name));
        hashCombine(seed, std::hash<std::string>{}(p.version));
        hashCombine(seed, std::hash<std::int64_t>{}(p.sizeBytes));
        return seed;
    }
};
