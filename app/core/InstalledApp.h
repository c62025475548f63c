// InstalledApp: one installed application, as the inventory reads it from its bundle.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/RawValue.h"
#include "platform/MacPath.h"

namespace veldo::core {

using Date = std::chrono::system_clock::time_point;

struct InstalledApp
{
    platform::MacPath url; // the bundle; may be a symbolic link
    std::string name;      // display name
    std::optional<std::string> bundleID;
    std::optional<std::string> version; // the version shown to the user
    std::int64_t sizeBytes = 0;         // 0 when not measured
    bool isSystemApp = false;
    std::optional<Date> lastUsed;
    std::vector<std::string> alternateNames; // other names the app is known by, each once

    // Identity: the bundle's path.
    const std::string& id() const { return url.path(); }

    friend bool operator==(const InstalledApp&, const InstalledApp&) = default;
};

} // namespace veldo::core

template <>
struct std::hash<veldo::core::InstalledApp>
{
    size_t operator()(const veldo::core::InstalledApp& a) const noexcept
    {
        using veldo::base::hashCombine;
        std::hash<std::string> hs;
        size_t seed = std::hash<veldo::platform::MacPath>{}(a.url);
        hashCombine(seed, hs(a.name));
        auto optional = [&](const std::optional<std::string>& o) {
            hashCombine(seed, o.has_value());
            if (o)
                hashCombine(seed, hs(*o));
        };
        optional(a.bundleID);
        optional(a.version);
        hashCombine(seed, std::hash<std::int64_t>{}(a.sizeBytes));
        hashCombine(seed, a.isSystemApp);
        hashCombine(seed, a.lastUsed.has_value());
        if (a.lastUsed)
            hashCombine(seed, std::hash<long long>{}(a.lastUsed->time_since_epoch().count()));
        hashCombine(seed, a.alternateNames.size());
        for (const auto& n : a.alternateNames)
            hashCombine(seed, hs(n));
        return seed;
    }
};
