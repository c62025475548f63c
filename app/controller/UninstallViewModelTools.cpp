// UninstallViewModel: the developer footprint's and the orphaned files' selections, the package
// scan and the package uninstall.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/controller/UninstallViewModel.h"
#include "app/core/AppProtection.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Home.h"
#include "platform/SystemSound.h"

namespace veldo::controller {

namespace {

// How many failures the package alert lists by name.
constexpr std::size_t kListedPackageFailures = 8;

// The ids of what a removal took away: the items trashed, those inside a trashed folder, and
// those already gone.
IdSet goneIDs(const removal::UninstallOutcome& outcome)
{
    IdSet ids;
    for (const core::LeftoverItem& item : outcome.trashed)
        ids.insert(item.id());
    for (const core::LeftoverItem& item : outcome.nestedItemsTrashedWithParent())
        ids.insert(item.id());
    for (const core::LeftoverItem& item : outcome.alreadyMissing)
        ids.insert(item.id());
    return ids;
}

std::int64_t trashedBytes(const removal::UninstallOutcome& outcome)
{
    std::int64_t total = 0;
    for (const core::LeftoverItem& item : outcome.trashed)
        total += item.sizeBytes;
    return total;
}

IdSet toggled(IdSet ids, const std::string& id)
{
    if (!ids.erase(id))
        ids.insert(id);
    return ids;
}

} // namespace

template <typename R>
Task<R> UninstallViewModel::backgroundTool(std::function<R(std::stop_token)> work)
{
    auto job = [work = std::move(work), stop = shutdownToken()] { return work(stop); };
    co_return co_await inBackground(m_toolPool, std::move(job));
}

void UninstallViewModel::playCompletionSound(bool nothingFailed) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_settings->playCompletionSound())
        platform::SystemSound::play(nothingFailed ? "Glass" : "Funk");
}

std::int64_t UninstallViewModel::removableBytes(const std::vector<core::LeftoverItem>& items) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::int64_t total = 0;
    for (const core::LeftoverItem& item : removableItems(items))
        total += item.sizeBytes;
    return total;
}

Task<void> UninstallViewModel::scanDeveloperIfNeeded()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_hasScannedDeveloper || m_isScanningDeveloper)
        co_return;
    co_await scanDeveloper();
}

void UninstallViewModel::toggleToolchainItem(const core::ToolchainItem& item)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    setSelectedToolchainIDs(toggled(m_selectedToolchainIDs, item.id()));
}

void UninstallViewModel::selectAllToolchainItems()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    IdSet ids;
    for (const core::ToolchainGroup& group : m_toolchainGroups)
        for (const core::ToolchainItem& item : group.items)
            ids.insert(item.id());
    setSelectedToolchainIDs(std::move(ids));
}

Task<void> UninstallViewModel::removeToolchains()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_isRemoving || m_isUndoing)
        co_return;
    const std::vector<core::ToolchainItem> selected = selectedToolchainItems();
    if (selected.empty())
        co_return;
    std::vector<core::LeftoverItem> items;
    items.reserve(selected.size());
    for (const core::ToolchainItem& toolchainItem : selected) {
        core::LeftoverItem item;
        item.url = toolchainItem.url;
        item.category = core::LeftoverCategory::caches;
        item.sizeBytes = toolchainItem.sizeBytes;
        item.requiresAdmin = toolchainItem.requiresAdmin;
        item.confidence = core::MatchConfidence::certain;
        items.push_back(std::move(item));
    }
    setIsRemoving(true);
    const RemovalCount count = openTally({});
    Task<removal::UninstallOutcome> run = removeThroughEngine(std::move(items), count);
    const removal::UninstallOutcome outcome = co_await run;
    closeTally(count);
    recordToolRemoval(outcome, OutcomeSource::toolchain);
    playCompletionSound(outcome);

    const IdSet gone = goneIDs(outcome);
    std::vector<core::ToolchainGroup> groups = m_toolchainGroups;
    for (core::ToolchainGroup& group : groups)
        std::erase_if(group.items,
                      [&](const core::ToolchainItem& item) { return gone.contains(item.id()); });
    std::erase_if(groups, [](const core::ToolchainGroup& group) { return group.items.empty(); });
    setToolchainGroups(std::move(groups));
    IdSet ticked = m_selectedToolchainIDs;
    std::erase_if(ticked, [&](const std::string& id) { return gone.contains(id); });
    setSelectedToolchainIDs(std::move(ticked));
    setIsRemoving(false);
}

Task<removal::UninstallOutcome>
UninstallViewModel::removeThroughEngine(std::vector<core::LeftoverItem> items, RemovalCount count)
{
    expectRemoval(items, {});
    Task<removal::UninstallOutcome> run = runTrash(std::move(items), count);
    removal::UninstallOutcome firstPass = co_await run;
    Task<removal::UninstallOutcome> engine = performRemoval(std::move(firstPass), count);
    co_return co_await engine;
}

void UninstallViewModel::recordToolRemoval(const removal::UninstallOutcome& outcome,
                                           OutcomeSource source)
{
    expectTrashLocations(outcome);
    dropMovedItemsFromTrashNotices(outcome);
    setLastRemovedApp(std::nullopt);
    setLastRemovedAppBundle(false);
    setLastOutcome(outcome);
    setLastOutcomeSource(source);
    setShowResultBanner(true);
    emptyLeftoverCache();
    m_stats->record(trashedBytes(outcome), static_cast<std::int64_t>(outcome.trashed.size()), 0);
}

Task<void> UninstallViewModel::scanPackagesIfNeeded()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_hasScannedPackages || m_isScanningPackages)
        co_return;
    co_await scanPackages();
}

Task<void> UninstallViewModel::scanPackages()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const QUuid token = supersedeScan(m_packageTask, &UninstallViewModel::setPackageScanToken);
    setIsScanningPackages(true);
    assignAlways(m_packageGroups, std::vector<core::PackageGroup>{},
                 &UninstallViewModel::packageGroupsChanged);
    setSelectedPackageIDs({});

    using Groups = std::vector<core::PackageGroup>;
    Task<Groups> task = backgroundTool<Groups>(m_services.packageScan);
    const TaskHandle handle = task.handle();
    setPackageTask(handle);
    Groups groups = co_await task;

    if (m_packageScanToken != token || handle->isCancelled())
        co_return;
    setPackageTask(nullptr);
    setPackageGroups(std::move(groups));
    setHasScannedPackages(true);
    setIsScanningPackages(false);
}

void UninstallViewModel::togglePackage(const core::DevPackage& package)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    setSelectedPackageIDs(toggled(m_selectedPackageIDs, package.id()));
}

bool UninstallViewModel::isPackageSelected(const core::DevPackage& package) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_selectedPackageIDs.contains(package.id());
}

void UninstallViewModel::selectAllPackages()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    IdSet ids;
    for (const core::PackageGroup& group : m_packageGroups)
        for (const core::DevPackage& package : group.packages)
            ids.insert(package.id());
    setSelectedPackageIDs(std::move(ids));
}

std::string UninstallViewModel::packageSummary(const scanners::PackageRemover::Result& result)
{
    std::int64_t total = 0;
    for (const core::DevPackage& package : result.removed)
        total += package.sizeBytes;
    const std::size_t count = result.removed.size();
    std::string summary =
        "Uninstalled " + std::to_string(count) + " package" + (count == 1 ? "" : "s");
    if (total >= 1)
        summary += " \u00B7 " + platform::sizeText(total);
    return summary;
}

NoticeAlert UninstallViewModel::packageFailureAlert(const scanners::PackageRemover::Result& result)
{
    NoticeAlert alert;
    alert.id = QUuid::createUuid();
    alert.title = result.removed.empty() ? "Couldn’t Uninstall" : "Partly Uninstalled";
    alert.message = packageSummary(result) + ". " + std::to_string(result.failed.size()) +
                    " couldn’t be uninstalled:\n";
    const std::size_t listed = std::min(result.failed.size(), kListedPackageFailures);
    for (std::size_t i = 0; i < listed; ++i) {
        const auto& [package, reason] = result.failed[i];
        if (i > 0)
            alert.message += "\n";
        alert.message += "\u2022 " + package.name + " \u2014 " + reason;
    }
    if (result.failed.size() > kListedPackageFailures)
        alert.message += "\n\u2026 and " +
                         std::to_string(result.failed.size() - kListedPackageFailures) + " more.";
    return alert;
}

void UninstallViewModel::forgetCasksBrewKept(
    const std::vector<std::pair<std::string, std::string>>& stamped,
    const std::vector<core::DevPackage>& removed)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::set<std::string> kept;
    for (const auto& stamp : stamped) {
        const std::string& token = stamp.second;
        if (std::ranges::none_of(removed, [&](const core::DevPackage& package) {
                return package.manager == core::PackageManagerKind::brewCask &&
                       package.name == token;
            }))
            kept.insert(stamp.first);
    }
    for (const std::string& path : kept)
        m_deletedByHomebrew.erase(path);
}

Task<void> UninstallViewModel::removePackages()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_isRemoving || m_isUndoing)
        co_return;
    const std::vector<core::DevPackage> packages = selectedPackages();
    if (packages.empty())
        co_return;
    setIsRemoving(true);
    setLastPackageResult(std::nullopt);

    // Homebrew may not remove a protected app either: its cask is refused before brew runs.
    std::map<std::string, std::string> protectedCasks;
    for (const core::InstalledApp& app : m_apps) {
        const std::optional<leftovers::CaskInfo> cask = caskToken(app.url);
        if (!cask)
            continue;
        const core::AppProtectionVerdict verdict = core::appProtectionReason(app);
        if (verdict.isProtected)
            protectedCasks.emplace(cask->token, verdict.reason.value_or(""));
    }
    std::vector<std::pair<core::DevPackage, std::string>> refused;
    std::vector<core::DevPackage> allowed;
    for (const core::DevPackage& package : packages) {
        const auto found = package.manager == core::PackageManagerKind::brewCask
                               ? protectedCasks.find(package.name)
                               : protectedCasks.end();
        if (found != protectedCasks.end())
            refused.emplace_back(package, found->second);
        else
            allowed.push_back(package);
    }

    // The apps of the casks brew is about to uninstall, stamped now: a notice for one that
    // vanishes meanwhile knows brew deleted it.
    std::vector<std::pair<std::string, std::string>> stamped; // app path, cask token
    for (const core::InstalledApp& app : m_apps)
        if (const std::optional<leftovers::CaskInfo> cask = caskToken(app.url))
            if (std::ranges::any_of(allowed, [&](const core::DevPackage& package) {
                    return package.manager == core::PackageManagerKind::brewCask &&
                           package.name == cask->token;
                })) {
                stamped.emplace_back(app.url.standardized().path(), cask->token);
                m_deletedByHomebrew[stamped.back().first] = std::chrono::steady_clock::now();
            }

    scanners::PackageRemover::Result result;
    if (!allowed.empty()) {
        auto remove = [service = m_services.packageRemoval, allowed = std::move(allowed)](
                          std::stop_token stop) { return service(allowed, std::move(stop)); };
        using Removal = scanners::PackageRemover::Result;
        Task<Removal> removal = backgroundTool<Removal>(std::move(remove));
        result = co_await removal;
    }
    result.failed.insert(result.failed.begin(), refused.begin(), refused.end());
    forgetCasksBrewKept(stamped, result.removed);

    setIsRemoving(false);
    setLastPackageResult(result);
    if (!result.failed.empty())
        setActiveAlert(packageFailureAlert(result));
    if (!result.removed.empty()) {
        std::int64_t total = 0;
        for (const core::DevPackage& package : result.removed)
            total += package.sizeBytes;
        m_stats->record(total, static_cast<std::int64_t>(result.removed.size()), 0);
        emptyLeftoverCache();
    }
    playCompletionSound(result.failed.empty());

    if (std::ranges::any_of(result.removed, [](const core::DevPackage& package) {
            return package.manager == core::PackageManagerKind::brewCask;
        }))
        co_await scanApps();
    co_await scanPackages();
}

std::vector<core::LeftoverItem> UninstallViewModel::selectedOrphans() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<core::LeftoverItem> items = scanners::OrphanGroup::allItems(m_orphanResult.groups);
    std::erase_if(items, [&](const core::LeftoverItem& item) {
        return !m_selectedOrphanIDs.contains(item.id());
    });
    return items;
}

std::int64_t UninstallViewModel::selectedOrphanBytes() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return removableBytes(selectedOrphans());
}

void UninstallViewModel::toggleOrphan(const scanners::OrphanFinding& finding)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    setSelectedOrphanIDs(toggled(m_selectedOrphanIDs, finding.item.id()));
}

Task<void> UninstallViewModel::removeOrphans()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_isRemoving || m_isUndoing)
        co_return;
    std::vector<core::LeftoverItem> items = selectedOrphans();
    if (items.empty())
        co_return;
    setIsRemoving(true);
    const RemovalCount count = openTally({});
    Task<removal::UninstallOutcome> run = removeThroughEngine(std::move(items), count);
    const removal::UninstallOutcome outcome = co_await run;
    closeTally(count);
    recordToolRemoval(outcome, OutcomeSource::orphans);

    const IdSet gone = goneIDs(outcome);
    if (!gone.empty())
        setHasScannedDeveloper(false);
    playCompletionSound(outcome);
    scanners::OrphanScanResult result = m_orphanResult;
    for (scanners::OrphanGroup& group : result.groups)
        std::erase_if(group.findings, [&](const scanners::OrphanFinding& finding) {
            return gone.contains(finding.item.id());
        });
    std::erase_if(result.groups,
                  [](const scanners::OrphanGroup& group) { return group.findings.empty(); });
    setOrphanResult(std::move(result));
    IdSet ticked = m_selectedOrphanIDs;
    std::erase_if(ticked, [&](const std::string& id) { return gone.contains(id); });
    setSelectedOrphanIDs(std::move(ticked));
    setIsRemoving(false);
}

void UninstallViewModel::toggleOrphanGroup(const scanners::OrphanGroup& group, bool selected)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    IdSet ids = m_selectedOrphanIDs;
    for (const core::LeftoverItem& item : group.items()) {
        if (selected)
            ids.insert(item.id());
        else
            ids.erase(item.id());
    }
    assignAlways(m_selectedOrphanIDs, std::move(ids),
                 &UninstallViewModel::selectedOrphanIDsChanged);
}

} // namespace veldo::controller
