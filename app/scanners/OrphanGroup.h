// OrphanGroup: the orphan findings of one presumed app, with the helpers the Orphaned Files
// screen and the controller use on groups (their items, removable size, confidence, suggested
// items, last change).
//
// A plain value; any thread. totalBytes reads nothing from disk: items are compared by their
// standardised paths, links unresolved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/core/LeftoverItem.h"
#include "app/scanners/OrphanFinding.h"

namespace veldo::scanners {

struct OrphanGroup
{
    // The presumed app's identifier, with its case as read from the file name.
    std::string bundleID;
    // A short name for the group header.
    std::string displayName;
    // The findings, by category and then larger first.
    std::vector<OrphanFinding> findings;

    // Identity: bundleID lower-cased.
    std::string id() const;

    // The item of every finding, in finding order.
    std::vector<core::LeftoverItem> items() const;
    // The size of the items to remove: an item inside another item of the group, or repeating
    // an earlier item's path, is not counted again.
    std::int64_t totalBytes() const;
    // The most certain confidence among the items; low without items.
    core::MatchConfidence confidence() const;
    // The items whose confidence is exactly medium (the orphans without any doubt), in order.
    std::vector<core::LeftoverItem> suggestedItems() const;
    // The latest last change among the findings; none when no finding has one.
    std::optional<core::Date> lastModified() const;

    // The items of every group, group order then finding order.
    static std::vector<core::LeftoverItem> allItems(const std::vector<OrphanGroup>& groups);
    // The removable size of allItems(groups), filtered together.
    static std::int64_t totalBytes(const std::vector<OrphanGroup>& groups);

    friend bool operator==(const OrphanGroup&, const OrphanGroup&) = default;
};

} // namespace veldo::scanners

template <>
struct std::hash<veldo::scanners::OrphanGroup>
{
    size_t operator()(const veldo::scanners::OrphanGroup& g) const noexcept
    {
        using veldo::base::hashCombine;
        size_t seed = std::hash<std::string>{}(g.bundleID);
        hashCombine(seed, std::hash<std::string>{}(g.displayName));
        for (const veldo::scanners::OrphanFinding& f : g.findings)
            hashCombine(seed, std::hash<veldo::scanners::OrphanFinding>{}(f));
        return seed;
    }
};
