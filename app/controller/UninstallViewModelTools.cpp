// UninstallViewModel: the developer footprint's and the orphaned files' selections, the package
// scan and the package uninstall.
#include <algorithm>
#include <map>
#include <utility>

#include "app/controller/UninstallViewModel.h"
#include "app/core/AppProtection.h"
#include "app/leftovers/HomebrewCaskIndex.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Home.h"

namespace veldo::controller {

namespace {

// How many failures the package alert lists by name.
constexpr std::size_t kListedPackageFailures = 8;

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

void UninstallViewModel::playCompletionSound(bool nothingFailed)
{
    if (m_settings->playCompletionSound())
        m_services.playSound(nothingFailed ? "Glass" : "Funk");
}

std::int64_t UninstallViewModel::removableBytes(const std::vector<core::LeftoverItem>& items) const
{
    std::int64_t total = 0;
    for (const core::LeftoverItem& item : removableItems(items))
        total += item.sizeBytes;
    return total;
}

Task<void> UninstallViewModel::scanDeveloperIfNeeded()
{
    if (m_hasScannedDeveloper || m_isScanningDeveloper)
        co_return;
    co_await scanDeveloper();
}

void UninstallViewModel::toggleToolchainItem(const core::ToolchainItem& item)
{
    setSelectedToolchainIDs(toggled(m_selectedToolchainIDs, item.id()));
}

void UninstallViewModel::selectAllToolchainItems()
{
    IdSet ids;
    for (const core::ToolchainGroup& group : m_toolchainGroups)
        for (const core::ToolchainItem& item : group.items)
            ids.insert(item.id());
    setSelectedToolchainIDs(std::move(ids));
}

Task<void> UninstallViewModel::scanPackagesIfNeeded()
{
    if (m_hasScannedPackages || m_isScanningPackages)
        co_return;
    co_await scanPackages();
}

Task<void> UninstallViewModel::scanPackages()
{
    if (m_packageTask)
        m_packageTask->cancel();
    const QUuid token = QUuid::createUuid();
    setPackageScanToken(token);
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
    setSelectedPackageIDs(toggled(m_selectedPackageIDs, package.id()));
}

bool UninstallViewModel::isPackageSelected(const core::DevPackage& package) const
{
    return m_selectedPackageIDs.contains(package.id());
}

void UninstallViewModel::selectAllPackages()
{
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
        summary += " \u00B7 " + platform::ByteCountFormatter::fileString(total);
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

Task<void> UninstallViewModel::removePackages()
{
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
        const std::optional<leftovers::CaskInfo> cask =
            leftovers::HomebrewCasks::cask(app.url, m_caskIndex, platform::homeDirectory());
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

    scanners::PackageRemover::Result result;
    if (!allowed.empty()) {
        auto remove = [service = m_services.packageRemoval, allowed = std::move(allowed)](
                          std::stop_token stop) { return service(allowed, std::move(stop)); };
        using Removal = scanners::PackageRemover::Result;
        Task<Removal> removal = backgroundTool<Removal>(std::move(remove));
        result = co_await removal;
    }
    result.failed.insert(result.failed.begin(), refused.begin(), refused.end());

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
    std::vector<core::LeftoverItem> items = scanners::OrphanGroup::allItems(m_orphanResult.groups);
    std::erase_if(items, [&](const core::LeftoverItem& item) {
        return !m_selectedOrphanIDs.contains(item.id());
    });
    return items;
}

std::int64_t UninstallViewModel::selectedOrphanBytes() const
{
    return removableBytes(selectedOrphans());
}

void UninstallViewModel::toggleOrphan(const scanners::OrphanFinding& finding)
{
    setSelectedOrphanIDs(toggled(m_selectedOrphanIDs, finding.item.id()));
}

void UninstallViewModel::toggleOrphanGroup(const scanners::OrphanGroup& group, bool selected)
{
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
