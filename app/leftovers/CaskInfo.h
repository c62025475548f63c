// CaskInfo: what one installed Homebrew cask puts on the Mac, as far as app removal cares.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/RawValue.h"

namespace veldo::leftovers {

struct CaskInfo
{
    // The token as the cask's record gives it; "user/tap/name" for a cask of a tap other than
    // "homebrew/cask" whose record carries the full token.
    std::string token;
    std::string version;               // the installed version; may be empty
    bool hasZap = false;               // the cask defines a zap stanza
    bool usesInstallerPackage = false; // the cask installs through an installer package
    // File names of the app bundles the cask installs ("Foo.app"), no repeats, artifact order.
    std::vector<std::string> appNames;
    // Install targets of those apps as the cask states them (a bare name, a relative path, an
    // absolute path or one beginning with "~"), no repeats, artifact order.
    std::vector<std::string> appTargets;
    // The applications folder the cask was installed with, when its configuration records one.
    std::optional<std::string> appdir;

    friend bool operator==(const CaskInfo&, const CaskInfo&) = default;
};

// App bundle file name ("Foo.app", case-sensitive) → the cask that installs an app of that name.
using CaskIndex = std::map<std::string, CaskInfo>;

} // namespace veldo::leftovers

template <>
struct std::hash<veldo::leftovers::CaskInfo>
{
    size_t operator()(const veldo::leftovers::CaskInfo& c) const noexcept
    {
        using veldo::base::hashCombine;
        std::hash<std::string> hs;
        size_t seed = hs(c.token);
        hashCombine(seed, hs(c.version));
        hashCombine(seed, c.hasZap);
        hashCombine(seed, c.usesInstallerPackage);
        for (const auto* list : {&c.appNames, &c.appTargets}) {
            hashCombine(seed, list->size());
            for (const auto& s : *list)
                hashCombine(seed, hs(s));
        }
        hashCombine(seed, c.appdir.has_value());
        if (c.appdir)
            hashCombine(seed, hs(*c.appdir));
        return seed;
    }
};
