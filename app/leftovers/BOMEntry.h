// BOMEntry: one path recorded in an installer's bill of materials.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "base/RawValue.h"

namespace veldo::leftovers {

struct BOMEntry
{
    // Relative to the package's install location, components joined with "/", never empty, no
    // leading "/", no "." or ".." component (for example "Applications/Tool.app/Contents").
    std::string path;
    // False for a folder, true for everything else (files, links, devices).
    bool isFile = true;

    friend bool operator==(const BOMEntry&, const BOMEntry&) = default;
};

} // namespace veldo::leftovers

template <>
struct std::hash<veldo::leftovers::BOMEntry>
{
    size_t operator()(const veldo::leftovers::BOMEntry& e) const noexcept
    {
        size_t seed = std::hash<std::string>{}(e.path);
        veldo::base::hashCombine(seed, std::hash<bool>{}(e.isFile));
        return seed;
    }
};
