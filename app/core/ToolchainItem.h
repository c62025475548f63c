// ToolchainItem and ToolchainGroup: one measured developer-tool location, and a kind's items.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/ToolchainKind.h"
#include "platform/MacPath.h"

namespace veldo::core {

struct ToolchainItem
{
    ToolchainKind kind = ToolchainKind::homebrew;
    std::string title;
    std::string detail;
    platform::MacPath url;
    std::int64_t sizeBytes = 0;
    bool requiresAdmin = false;
    bool isCache = false;
    bool holdsUserData = false;

    // Identity: the path.
    const std::string& id() const { return url.path(); }
    friend bool operator==(const ToolchainItem&, const ToolchainItem&) = default;
};

struct ToolchainGroup
{
    ToolchainKind kind = ToolchainKind::homebrew;
    std::vector<ToolchainItem> items;

    ToolchainKind id() const { return kind; }
    friend bool operator==(const ToolchainGroup&, const ToolchainGroup&) = default;
};

} // namespace veldo::core

template <>
struct std::hash<veldo::core::ToolchainItem>
{
    size_t operator()(const veldo::core::ToolchainItem& i) const noexcept
    {
        using veldo::base::hashCombine;
        std::hash<std::string> hs;
        size_t seed = veldo::base::hashByRawValue(i.kind);
        hashCombine(seed, hs(i.title));
        hashCombine(seed, hs(i.detail));
        hashCombine(seed, std::hash<veldo::platform::MacPath>{}(i.url));
        hashCombine(seed, std::hash<std::int64_t>{}(i.sizeBytes));
        hashCombine(seed, i.requiresAdmin);
        hashCombine(seed, i.isCache);
        hashCombine(seed, i.holdsUserData);
        return seed;
    }
};
