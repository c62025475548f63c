// UninstallViewModel: the values derived from the state, and the removal-safety verdicts.
#include <algorithm>
#include <iterator>
#include <unordered_set>

#include "app/controller/UninstallViewModel.h"
#include "platform/Home.h"
#include "platform/MainBundle.h"
#include "platform/Unicode.h"

namespace veldo::controller {

namespace {

template <typename Item>
std::int64_t totalBytes(const std::vector<Item>& items)
{
    std::int64_t total = 0;
    for (const Item& item : items)
        total += item.sizeBytes;
    return total;
}

// Appends the elements of `from` whose id is in `ids`, in order.
template <typename Item>
void appendSelected(const std::vector<Item>& from, const IdSet& ids, std::vector<Item>& to)
{
    std::ranges::copy_if(from, std::back_inserter(to),
                         [&](const Item& item) { return ids.contains(item.id()); });
}

bool containsFolded(std::string_view text, const std::string& foldedQuery)
{
    return platform::foldForComparison(text).find(foldedQuery) != std::string::npos;
}

} // namespace

std::optional<core::InstalledApp> UninstallViewModel::selectedApp() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!m_selectedAppID)
        return std::nullopt;
    for (const core::InstalledApp& app : m_apps)
        if (app.id() == *m_selectedAppID)
            return app;
    if (m_detailApp && m_detailApp->id() == *m_selectedAppID)
        return m_detailApp;
    return std::nullopt;
}

std::vector<core::InstalledApp> UninstallViewModel::selectedApps() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<core::InstalledApp> apps;
    appendSelected(m_apps, m_selectedAppIDs, apps);
    return apps;
}

std::vector<core::InstalledApp> UninstallViewModel::sortedApps() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const std::string_view query = platform::trimmedSpacesAndTabs(m_searchText);
    std::vector<core::InstalledApp> apps;
    if (query.empty()) {
        apps = m_apps;
    } else {
        const std::string folded = platform::foldForComparison(query);
        std::ranges::copy_if(m_apps, std::back_inserter(apps), [&](const core::InstalledApp& app) {
            return containsFolded(app.name, folded) ||
                   (app.bundleID && containsFolded(*app.bundleID, folded));
        });
    }
    if (m_sortOrder == SortOrder::name) {
        std::ranges::stable_sort(apps,
                                 [&](const core::InstalledApp& a, const core::InstalledApp& b) {
                                     return m_collator.compare(a.name, b.name) < 0;
                                 });
    } else {
        // Never-used apps count as the most distant past, so they come last.
        std::ranges::stable_sort(apps, [](const core::InstalledApp& a,
                                          const core::InstalledApp& b) {
            return a.lastUsed.value_or(core::Date::min()) > b.lastUsed.value_or(core::Date::min());
        });
    }
    return apps;
}

std::vector<core::LeftoverItem> UninstallViewModel::selectedLeftovers() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<core::LeftoverItem> items;
    appendSelected(m_leftovers, m_selectedLeftoverIDs, items);
    return items;
}

std::vector<core::LeftoverItem> UninstallViewModel::selectedRemovableLeftovers() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return removableItems(selectedLeftovers());
}

std::int64_t UninstallViewModel::selectedLeftoverBytes() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return totalBytes(selectedRemovableLeftovers());
}

std::int64_t UninstallViewModel::removableLeftoverBytes() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return totalBytes(removableItems(m_leftovers));
}

std::vector<core::ToolchainItem> UninstallViewModel::selectedToolchainItems() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<core::ToolchainItem> items;
    for (const core::ToolchainGroup& group : m_toolchainGroups)
        appendSelected(group.items, m_selectedToolchainIDs, items);
    return items;
}

std::int64_t UninstallViewModel::toolchainTotalBytes() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::int64_t total = 0;
    for (const core::ToolchainGroup& group : m_toolchainGroups)
        total += totalBytes(group.items);
    return total;
}

std::vector<core::DevPackage> UninstallViewModel::selectedPackages() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<core::DevPackage> packages;
    for (const core::PackageGroup& group : m_packageGroups)
        appendSelected(group.packages, m_selectedPackageIDs, packages);
    return packages;
}

std::vector<BatchAppResult> UninstallViewModel::includedBatchResults() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<BatchAppResult> results;
    std::ranges::copy_if(
        m_batchResults, std::back_inserter(results), [&](const BatchAppResult& result) {
            return !result.isProtected && m_batchIncludedIDs.contains(result.app.id());
        });
    return results;
}

namespace {

std::vector<core::LeftoverItem> joinedDefaultSelections(const std::vector<BatchAppResult>& results)
{
    std::vector<core::LeftoverItem> items;
    for (const BatchAppResult& result : results)
        items.insert(items.end(), result.defaultSelected.begin(), result.defaultSelected.end());
    return items;
}

} // namespace

std::int64_t UninstallViewModel::includedBatchBytes() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return totalBytes(removableItems(joinedDefaultSelections(includedBatchResults())));
}

int UninstallViewModel::includedBatchItemCount() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return static_cast<int>(removableItems(joinedDefaultSelections(includedBatchResults())).size());
}

std::int64_t UninstallViewModel::selectedBytes(const BatchAppResult& result) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return totalBytes(removableItems(result.defaultSelected));
}

bool UninstallViewModel::hasGrantedAccess(core::AccessRootKind kind) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return std::ranges::any_of(
        m_grantedAccess, [&](const core::ScopedAccessRoot& root) { return root.kind == kind; });
}

std::optional<platform::MacPath> UninstallViewModel::grantedURL(core::AccessRootKind kind) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    for (const core::ScopedAccessRoot& root : m_grantedAccess)
        if (root.kind == kind)
            return root.url;
    return std::nullopt;
}

common::RemovalSafety::Context UninstallViewModel::removalSafetyContext() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    common::RemovalSafety::Context context;
    context.homeDirectory = platform::homeDirectory();
    context.protectedBundles = {platform::mainBundleURL()};
    context.installedApps.reserve(m_apps.size());
    for (const core::InstalledApp& app : m_apps)
        context.installedApps.push_back(app.url);
    context.inspectsDisk = true;
    return context;
}

bool UninstallViewModel::isLetThrough(const platform::MacPath& url) const
{
    if (const auto known = m_verdicts.letThrough.find(url.path());
        known != m_verdicts.letThrough.end())
        return known->second;
    if (!m_verdicts.context)
        m_verdicts.context.emplace(removalSafetyContext());
    const bool letThrough = !m_services.removalRefusal(url, *m_verdicts.context);
    m_verdicts.letThrough.emplace(url.path(), letThrough);
    return letThrough;
}

std::optional<std::string>
UninstallViewModel::removalRefusalSentence(const platform::MacPath& url) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (isLetThrough(url))
        return std::nullopt;
    // Only a refused path is asked again, for its reason; the verdict stays the cached one.
    if (const auto refusal = m_services.removalRefusal(url, *m_verdicts.context))
        return common::removalRefusalMessage(*refusal);
    return common::removalRefusalMessage(common::RemovalSafety::Refusal::unidentifiable());
}

void UninstallViewModel::forgetVerdicts()
{
    m_verdicts = {};
}

void UninstallViewModel::adoptVerdicts(RemovalVerdicts verdicts)
{
    forgetVerdicts();
    if (verdicts.context && verdicts.context->context() == removalSafetyContext())
        m_verdicts = std::move(verdicts);
}

IdSet UninstallViewModel::suggestedOrphanPaths(const std::vector<scanners::OrphanGroup>& groups,
                                               bool includeAdminRequired)
{
    IdSet ids;
    for (const scanners::OrphanGroup& group : groups)
        for (const core::LeftoverItem& item : group.suggestedItems())
            if (item.confidence == core::MatchConfidence::medium &&
                (includeAdminRequired || !item.requiresAdmin))
                ids.insert(item.id());
    return ids;
}

std::vector<core::LeftoverItem>
UninstallViewModel::appManagementDeniedApps(const removal::UninstallOutcome& outcome)
{
    std::vector<core::LeftoverItem> items;
    for (const removal::UninstallOutcome::Failure& failure : outcome.failed) {
        const core::LeftoverItem& item = failure.item;
        if (item.category == core::LeftoverCategory::application && !item.requiresAdmin &&
            outcome.escalatableIDs.contains(item.id()) &&
            outcome.appManagementDenialIDs.contains(item.id()))
            items.push_back(item);
    }
    return items;
}

bool UninstallViewModel::allContained(const std::vector<core::LeftoverItem>& items,
                                      const std::vector<core::LeftoverItem>& in)
{
    if (items.empty() || in.empty())
        return false;
    std::unordered_set<std::string> ids;
    for (const core::LeftoverItem& item : in)
        ids.insert(item.id());
    return std::ranges::all_of(
        items, [&](const core::LeftoverItem& item) { return ids.contains(item.id()); });
}

std::vector<core::LeftoverItem>
UninstallViewModel::removingAppBundle(const platform::MacPath& url,
                                      const std::vector<core::LeftoverItem>& items)
{
    const std::string bundle = url.standardized().path();
    std::vector<core::LeftoverItem> kept;
    std::ranges::copy_if(items, std::back_inserter(kept), [&](const core::LeftoverItem& item) {
        return item.category != core::LeftoverCategory::application ||
               item.url.standardized().path() != bundle;
    });
    return kept;
}

void UninstallViewModel::selectAllLeftovers()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    IdSet ids;
    for (const core::LeftoverItem& item : m_leftovers)
        if (isLetThrough(item.url))
            ids.insert(item.id());
    setSelectedLeftoverIDs(std::move(ids));
}

} // namespace veldo::controller
