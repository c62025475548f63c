// LeftoverItem: one file or folder that belongs to an app, rated by the scanners.
#pragma once

#include <cstdint>
#include <string>

#include "app/core/LeftoverCategory.h"
#include "app/core/MatchConfidence.h"
#include "platform/MacPath.h"

namespace veldo::core {

struct LeftoverItem
{
    platform::MacPath url;
    LeftoverCategory category = LeftoverCategory::supportFiles;
    std::int64_t sizeBytes = 0;
    bool requiresAdmin = false;
    MatchConfidence confidence = MatchConfidence::low;

    // Identity: the path. Two items for one path are one item in any list keyed by id(),
    // whatever their category or confidence.
    const std::string& id() const { return url.path(); }

    friend bool operator==(const LeftoverItem&, const LeftoverItem&) = default;
};

} // namespace veldo::core

template <>
struct std::hash<veldo::core::LeftoverItem>
{
    size_t operator()(const veldo::core::LeftoverItem& i) const noexcept
    {
        using veldo::base::hashCombine;
        size_t seed = std::hash<veldo::platform::MacPath>{}(i.url);
        hashCombine(seed, veldo::base::hashByRawValue(i.category));
        hashCombine(seed, std::hash<std::int64_t>{}(i.sizeBytes));
        hashCombine(seed, i.requiresAdmin);
        hashCombine(seed, veldo::base::hashByRawValue(i.confidence));
        return seed;
    }
};
