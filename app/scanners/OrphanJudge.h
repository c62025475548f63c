// The orphan judge: whether anything present on the Mac still claims an identifier candidate
// read from a Library folder entry, and, when nothing does, how sure the scan may be that the
// entry is an orphan and why; and the staleness rule that lowers recently changed orphans.
//
// Made once per scan from the environment snapshot. judge() runs the claims from the cheapest
// (prefix tables, hashed sets) to the most expensive (the application registry, asked through
// the environment and remembered per lower-cased identifier and parent for the judge's
// lifetime); it blocks on the registry and, for containers, on one folder listing. Copies of a
// judge share the memo, which is locked but never while the registry is asked, so copies may
// judge on several threads at once. Nothing fails: a failing registry question counts as "not
// registered", an unreadable Documents folder as empty.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "app/core/InstalledApp.h"
#include "app/core/MatchConfidence.h"
#include "app/scanners/OrphanCandidate.h"
#include "app/scanners/OrphanIdentifiers.h"
#include "app/scanners/OrphanLocation.h"
#include "app/scanners/OrphanScanEnvironment.h"
#include "app/scanners/OrphanVerdict.h"

namespace veldo::scanners::OrphanScanner {

// Identifiers of macOS's own software; a key beginning with one is claimed by "macOS".
extern const std::array<std::string_view, 11> systemIDPrefixes;
// Frameworks and updaters that many apps embed; claimed as "shared framework".
extern const std::array<std::string_view, 29> sharedFrameworkPrefixes;
// Vendors whose leftovers are claimed while any of their software is installed.
extern const std::array<std::string_view, 10> bigVendors;
// Identifiers that usually belong to a command-line tool rather than an app.
extern const std::array<std::string_view, 12> commandLineToolPrefixes;

struct Judge
{
    // Registry answers of one judge, by lower-cased identifier.
    struct LaunchServicesCache
    {
        std::mutex lock;
        std::unordered_map<std::string, bool> answers;
    };

    OrphanScanEnvironment env;
    RelatedIDIndex installed;     // of env.installedBundleIDs
    RelatedIDIndex running;       // of env.runningBundleIDs
    RelatedIDIndex launchdLabels; // of env.loadedLaunchdLabels, empty when unknown
    // Vendors of the installed identifiers and of the loaded labels of more than two parts.
    std::unordered_set<std::string> installedVendors;
    std::shared_ptr<LaunchServicesCache> lsCache;

    explicit Judge(OrphanScanEnvironment environment);

    // Claimed (by the first claim that holds, in a fixed order) or an orphan: medium, or low
    // with " Review first: " and the doubts joined by "; " and closed by "." after the sentence
    // naming the identifier.
    Verdict judge(const Candidate& candidate, const Location& location) const;

    // Lowers a medium orphan changed within env.staleInterval of env.now (exactly the interval
    // counts as within; a future date as today), or without a date, to low with a note saying
    // so. Any other confidence is returned unchanged.
    std::pair<core::MatchConfidence, std::string>
    applyingStaleness(core::MatchConfidence confidence, std::string reason,
                      const std::optional<core::Date>& lastModified) const;

    // Whether the registry knows `identifier` (as written) or one of its parents of at least
    // three parts; an identifier of fewer than three parts is never asked about.
    bool isKnownToLaunchServices(std::string_view identifier) const;

    // Whether the container's "Data/Documents" folder lists at least one visible entry.
    bool sandboxHoldsDocuments(const Candidate& candidate, const Location& location) const;
};

} // namespace veldo::scanners::OrphanScanner
