// WatchedAppBundle: an app bundle the app-library watcher reports (moved to the Trash or gone).
#pragma once

#include <optional>
#include <string>

#include "base/RawValue.h"
#include "platform/MacPath.h"

namespace veldo::core {

struct WatchedAppBundle
{
    std::optional<platform::MacPath> trashURL;    // where it lies in the Trash; none if it vanished
    std::optional<platform::MacPath> originalURL; // where it lay in an application folder
    std::optional<std::string> bundleID;
    std::string name;
    std::optional<std::string> version;

    friend bool operator==(const WatchedAppBundle&, const WatchedAppBundle&) = default;
};

} // namespace veldo::core

template <>
struct std::hash<veldo::core::WatchedAppBundle>
{
    size_t operator()(const veldo::core::WatchedAppBundle& b) const noexcept
    {
        using veldo::base::hashCombine;
        size_t seed = 0;
        auto path = [&](const std::optional<veldo::platform::MacPath>& p) {
            hashCombine(seed, p.has_value());
            if (p)
                hashCombine(seed, std::hash<veldo::platform::MacPath>{}(*p));
        };
        auto text = [&](const std::optional<std::string>& s) {
            hashCombine(seed, s.has_value());
            if (s)
                hashCombine(seed, std::hash<std::string>{}(*s));
        };
        path(b.trashURL);
        path(b.originalURL);
        text(b.bundleID);
        hashCombine(seed, std::hash<std::string>{}(b.name));
        text(b.version);
        return seed;
    }
};
