// OrphanFinding: one file or folder the orphan scan offers, with when it last changed and why it
// is judged to belong to no app that is present.
//
// A plain value; any thread.
#pragma once

#include <optional>
#include <string>

#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"

namespace veldo::scanners {

struct OrphanFinding
{
    core::LeftoverItem item;
    // The newest modification date of the item and everything below it; none when none could
    // be read.
    std::optional<core::Date> lastModified;
    // Why it is judged an orphan, as one or more English sentences.
    std::string reason;

    friend bool operator==(const OrphanFinding&, const OrphanFinding&) = default;
};

} // namespace veldo::scanners

template <>
struct std::hash<veldo::scanners::OrphanFinding>
{
    size_t operator()(const veldo::scanners::OrphanFinding& f) const noexcept
    {
        using veldo::base::hashCombine;
        size_t seed = std::hash<veldo::core::LeftoverItem>{}(f.item);
        hashCombine(seed, f.lastModified.has_value());
        if (f.lastModified)
            hashCombine(seed, std::hash<veldo::core::Date::rep>{}(
                                  f.lastModified->time_since_epoch().count()));
        hashCombine(seed, std::hash<std::string>{}(f.reason));
        return seed;
    }
};
