// UninstallViewModel: the one controller of the application, its observable state and helpers.
//
// A QObject living on the GUI thread. Each tracked property has a getter, a setter and a NOTIFY
// signal <name>Changed; a setter compares the new value with the stored one and notifies only on
// a change (sets by membership, arrays element by element, tasks by identity). The last outcome,
// the last package result, the two pending prompts, their continuations and the active alert
// have no equality and notify on every write. Every member is used on the GUI thread only, the
// thread that made the controller: debug builds abort when a member is called on another.
//
// Construction reads the defaults and starts nothing: no scan, no task, no watcher. Background
// work runs on the controller's two pools (scanPool for reading work, toolPool for work that
// changes files or runs long child processes); its coroutines belong to taskScope(). shutdown()
// (on aboutToQuit and in the destructor) stops every service through the shutdown token, waits
// for both pools and destroys the suspended tasks without resuming them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include "app/controller/AdminEscalationRequest.h"
#include "app/controller/AppManagementChoice.h"
#include "app/controller/AppManagementPrompt.h"
#include "app/controller/BatchAppResult.h"
#include "app/controller/CaskFailure.h"
#include "app/controller/ControllerServices.h"
#include "app/controller/ControllerTypes.h"
#include "app/controller/DetailAppLocation.h"
#include "app/controller/NoticeAlert.h"
#include "app/controller/OutcomeSource.h"
#include "app/controller/QuitWaitResult.h"
#include "app/controller/RemovalTally.h"
#include "app/controller/RemovalVerdicts.h"
#include "app/controller/SettingsTab.h"
#include "app/controller/SortOrder.h"
#include "app/controller/StreamReader.h"
#include "app/controller/Task.h"
#include "app/controller/TaskScope.h"
#include "app/controller/TrashedAppNotice.h"
#include "app/controller/UndoFailure.h"
#include "app/core/AccessRootKind.h"
#include "app/core/AppLibraryWatcher.h"
#include "app/core/CleanupSettings.h"
#include "app/core/CleanupStats.h"
#include "app/core/DevPackage.h"
#include "app/core/DeveloperTab.h"
#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "app/core/RemovalSafetyApp.h"
#include "app/core/RunningAppStatus.h"
#include "app/core/ScopedAccessStore.h"
#include "app/core/ToolchainItem.h"
#include "app/core/TrashNoticeGate.h"
#include "app/core/WatchedAppBundle.h"
#include "app/leftovers/CaskInfo.h"
#include "app/leftovers/HomebrewCaskUninstall.h"
#include "app/removal/UninstallOutcome.h"
#include "app/scanners/OrphanGroup.h"
#include "app/scanners/OrphanScanResult.h"
#include "app/scanners/PackageRemoverResult.h"
#include "common/RemovalSafety.h"
#include "platform/NameCollator.h"
#include "platform/SequenceChecker.h"
#include "platform/UserDefaults.h"

namespace veldo::controller {

// How a removal's steps add what they moved to its tally: the tally (none counts nothing) and
// which moved item is an app cleaned (it runs on the tool pool and reads only the item).
struct RemovalCount
{
    std::shared_ptr<RemovalTally> tally;
    std::function<bool(const core::LeftoverItem&)> countsAsApp;

    // Adds `moved` to the tally. Any thread.
    void add(const std::vector<core::LeftoverItem>& moved) const;
};

class UninstallViewModel final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(std::vector<veldo::core::ScopedAccessRoot> grantedAccess READ grantedAccess WRITE
                   setGrantedAccess NOTIFY grantedAccessChanged)
    Q_PROPERTY(
        std::vector<veldo::core::InstalledApp> apps READ apps WRITE setApps NOTIFY appsChanged)
    Q_PROPERTY(std::string searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(veldo::controller::SortOrder sortOrder READ sortOrder WRITE setSortOrder NOTIFY
                   sortOrderChanged)
    Q_PROPERTY(bool includeSystemApps READ includeSystemApps WRITE setIncludeSystemApps NOTIFY
                   includeSystemAppsChanged)
    Q_PROPERTY(bool isScanningApps READ isScanningApps WRITE setIsScanningApps NOTIFY
                   isScanningAppsChanged)
    Q_PROPERTY(
        QUuid appsScanToken READ appsScanToken WRITE setAppsScanToken NOTIFY appsScanTokenChanged)
    Q_PROPERTY(veldo::controller::TaskHandle appsTask READ appsTask WRITE setAppsTask NOTIFY
                   appsTaskChanged)
    Q_PROPERTY(std::optional<std::string> selectedAppID READ selectedAppID WRITE setSelectedAppID
                   NOTIFY selectedAppIDChanged)
    Q_PROPERTY(veldo::controller::IdSet selectedAppIDs READ selectedAppIDs WRITE setSelectedAppIDs
                   NOTIFY selectedAppIDsChanged)
    Q_PROPERTY(std::optional<veldo::core::InstalledApp> detailApp READ detailApp WRITE setDetailApp
                   NOTIFY detailAppChanged)
    Q_PROPERTY(std::vector<veldo::core::LeftoverItem> leftovers READ leftovers WRITE setLeftovers
                   NOTIFY leftoversChanged)
    Q_PROPERTY(bool isScanningLeftovers READ isScanningLeftovers WRITE setIsScanningLeftovers NOTIFY
                   isScanningLeftoversChanged)
    Q_PROPERTY(veldo::controller::IdSet selectedLeftoverIDs READ selectedLeftoverIDs WRITE
                   setSelectedLeftoverIDs NOTIFY selectedLeftoverIDsChanged)
    Q_PROPERTY(QUuid leftoverScanToken READ leftoverScanToken WRITE setLeftoverScanToken NOTIFY
                   leftoverScanTokenChanged)
    Q_PROPERTY(veldo::controller::TaskHandle leftoverTask READ leftoverTask WRITE setLeftoverTask
                   NOTIFY leftoverTaskChanged)
    Q_PROPERTY(veldo::core::RunningAppStatus runningStatus READ runningStatus WRITE setRunningStatus
                   NOTIFY runningStatusChanged)
    Q_PROPERTY(veldo::controller::LeftoverCache leftoverCache READ leftoverCache WRITE
                   setLeftoverCache NOTIFY leftoverCacheChanged)
    Q_PROPERTY(std::int64_t leftoverCacheGeneration READ leftoverCacheGeneration WRITE
                   setLeftoverCacheGeneration NOTIFY leftoverCacheGenerationChanged)
    Q_PROPERTY(std::vector<veldo::controller::BatchAppResult> batchResults READ batchResults WRITE
                   setBatchResults NOTIFY batchResultsChanged)
    Q_PROPERTY(bool isScanningBatch READ isScanningBatch WRITE setIsScanningBatch NOTIFY
                   isScanningBatchChanged)
    Q_PROPERTY(veldo::controller::IdSet batchIncludedIDs READ batchIncludedIDs WRITE
                   setBatchIncludedIDs NOTIFY batchIncludedIDsChanged)
    Q_PROPERTY(QUuid batchScanToken READ batchScanToken WRITE setBatchScanToken NOTIFY
                   batchScanTokenChanged)
    Q_PROPERTY(veldo::controller::TaskHandle batchTask READ batchTask WRITE setBatchTask NOTIFY
                   batchTaskChanged)
    Q_PROPERTY(std::vector<veldo::core::ToolchainGroup> toolchainGroups READ toolchainGroups WRITE
                   setToolchainGroups NOTIFY toolchainGroupsChanged)
    Q_PROPERTY(bool isScanningDeveloper READ isScanningDeveloper WRITE setIsScanningDeveloper NOTIFY
                   isScanningDeveloperChanged)
    Q_PROPERTY(bool hasScannedDeveloper READ hasScannedDeveloper WRITE setHasScannedDeveloper NOTIFY
                   hasScannedDeveloperChanged)
    Q_PROPERTY(veldo::controller::IdSet selectedToolchainIDs READ selectedToolchainIDs WRITE
                   setSelectedToolchainIDs NOTIFY selectedToolchainIDsChanged)
    Q_PROPERTY(QUuid developerScanToken READ developerScanToken WRITE setDeveloperScanToken NOTIFY
                   developerScanTokenChanged)
    Q_PROPERTY(veldo::controller::TaskHandle developerTask READ developerTask WRITE setDeveloperTask
                   NOTIFY developerTaskChanged)
    Q_PROPERTY(veldo::core::DeveloperTab developerTab READ developerTab WRITE setDeveloperTab NOTIFY
                   developerTabChanged)
    Q_PROPERTY(std::vector<veldo::core::PackageGroup> packageGroups READ packageGroups WRITE
                   setPackageGroups NOTIFY packageGroupsChanged)
    Q_PROPERTY(bool isScanningPackages READ isScanningPackages WRITE setIsScanningPackages NOTIFY
                   isScanningPackagesChanged)
    Q_PROPERTY(bool hasScannedPackages READ hasScannedPackages WRITE setHasScannedPackages NOTIFY
                   hasScannedPackagesChanged)
    Q_PROPERTY(veldo::controller::IdSet selectedPackageIDs READ selectedPackageIDs WRITE
                   setSelectedPackageIDs NOTIFY selectedPackageIDsChanged)
    Q_PROPERTY(QUuid packageScanToken READ packageScanToken WRITE setPackageScanToken NOTIFY
                   packageScanTokenChanged)
    Q_PROPERTY(veldo::controller::TaskHandle packageTask READ packageTask WRITE setPackageTask
                   NOTIFY packageTaskChanged)
    Q_PROPERTY(std::optional<veldo::scanners::PackageRemover::Result> lastPackageResult READ
                   lastPackageResult WRITE setLastPackageResult NOTIFY lastPackageResultChanged)
    Q_PROPERTY(bool isRemoving READ isRemoving WRITE setIsRemoving NOTIFY isRemovingChanged)
    Q_PROPERTY(std::optional<veldo::removal::UninstallOutcome> lastOutcome READ lastOutcome WRITE
                   setLastOutcome NOTIFY lastOutcomeChanged)
    Q_PROPERTY(bool showResultBanner READ showResultBanner WRITE setShowResultBanner NOTIFY
                   showResultBannerChanged)
    Q_PROPERTY(bool isUndoing READ isUndoing WRITE setIsUndoing NOTIFY isUndoingChanged)
    Q_PROPERTY(veldo::controller::OutcomeSource lastOutcomeSource READ lastOutcomeSource WRITE
                   setLastOutcomeSource NOTIFY lastOutcomeSourceChanged)
    Q_PROPERTY(std::optional<veldo::core::InstalledApp> lastRemovedApp READ lastRemovedApp WRITE
                   setLastRemovedApp NOTIFY lastRemovedAppChanged)
    Q_PROPERTY(bool lastRemovedAppBundle READ lastRemovedAppBundle WRITE setLastRemovedAppBundle
                   NOTIFY lastRemovedAppBundleChanged)
    Q_PROPERTY(std::vector<veldo::controller::UndoFailure> lastUndoFailures READ lastUndoFailures
                   WRITE setLastUndoFailures NOTIFY lastUndoFailuresChanged)
    Q_PROPERTY(std::optional<veldo::controller::AdminEscalationRequest> pendingAdminEscalation READ
                   pendingAdminEscalation WRITE setPendingAdminEscalation NOTIFY
                       pendingAdminEscalationChanged)
    Q_PROPERTY(veldo::controller::AdminEscalationContinuation adminEscalationContinuation READ
                   adminEscalationContinuation WRITE setAdminEscalationContinuation NOTIFY
                       adminEscalationContinuationChanged)
    Q_PROPERTY(std::optional<veldo::controller::AppManagementPrompt> pendingAppManagementPrompt READ
                   pendingAppManagementPrompt WRITE setPendingAppManagementPrompt NOTIFY
                       pendingAppManagementPromptChanged)
    Q_PROPERTY(veldo::controller::AppManagementContinuation appManagementContinuation READ
                   appManagementContinuation WRITE setAppManagementContinuation NOTIFY
                       appManagementContinuationChanged)
    Q_PROPERTY(veldo::scanners::OrphanScanResult orphanResult READ orphanResult WRITE
                   setOrphanResult NOTIFY orphanResultChanged)
    Q_PROPERTY(bool isScanningOrphans READ isScanningOrphans WRITE setIsScanningOrphans NOTIFY
                   isScanningOrphansChanged)
    Q_PROPERTY(bool hasScannedOrphans READ hasScannedOrphans WRITE setHasScannedOrphans NOTIFY
                   hasScannedOrphansChanged)
    Q_PROPERTY(veldo::controller::IdSet selectedOrphanIDs READ selectedOrphanIDs WRITE
                   setSelectedOrphanIDs NOTIFY selectedOrphanIDsChanged)
    Q_PROPERTY(QUuid orphanScanToken READ orphanScanToken WRITE setOrphanScanToken NOTIFY
                   orphanScanTokenChanged)
    Q_PROPERTY(veldo::controller::TaskHandle orphanTask READ orphanTask WRITE setOrphanTask NOTIFY
                   orphanTaskChanged)
    Q_PROPERTY(std::vector<veldo::controller::TrashedAppNotice> trashNotices READ trashNotices WRITE
                   setTrashNotices NOTIFY trashNoticesChanged)
    Q_PROPERTY(bool canReadTrash READ canReadTrash WRITE setCanReadTrash NOTIFY canReadTrashChanged)
    Q_PROPERTY(bool offerCleanupForTrashedApps READ offerCleanupForTrashedApps WRITE
                   setOfferCleanupForTrashedApps NOTIFY offerCleanupForTrashedAppsChanged)
    Q_PROPERTY(veldo::controller::DetailAppLocation detailAppLocation READ detailAppLocation WRITE
                   setDetailAppLocation NOTIFY detailAppLocationChanged)
    Q_PROPERTY(veldo::leftovers::CaskIndex caskIndex READ caskIndex WRITE setCaskIndex NOTIFY
                   caskIndexChanged)
    Q_PROPERTY(std::optional<veldo::controller::CaskFailure> caskFailure READ caskFailure WRITE
                   setCaskFailure NOTIFY caskFailureChanged)
    Q_PROPERTY(veldo::controller::SettingsTab settingsTab READ settingsTab WRITE setSettingsTab
                   NOTIFY settingsTabChanged)
    Q_PROPERTY(std::optional<std::string> dropNotice READ dropNotice WRITE setDropNotice NOTIFY
                   dropNoticeChanged)
    Q_PROPERTY(std::optional<veldo::controller::NoticeAlert> activeAlert READ activeAlert WRITE
                   setActiveAlert NOTIFY activeAlertChanged)

public:
    // Where the choice to be offered cleanup of trashed apps is kept.
    static constexpr std::string_view kOfferCleanupForTrashedAppsKey =
        "Veldo.OfferCleanupForTrashedApps";

    // Absent arguments are the shared settings, the shared statistics and the standard
    // defaults; empty services are the real ones.
    explicit UninstallViewModel(std::shared_ptr<core::CleanupSettings> settings = nullptr,
                                std::shared_ptr<core::CleanupStats> stats = nullptr,
                                std::shared_ptr<platform::UserDefaults> defaults = nullptr,
                                ControllerServices services = {}, QObject* parent = nullptr);
    ~UninstallViewModel() override;

    UninstallViewModel(const UninstallViewModel&) = delete;
    UninstallViewModel& operator=(const UninstallViewModel&) = delete;

    // The process's controller, made on first use (on the GUI thread, once a QCoreApplication
    // exists) and never released.
    static UninstallViewModel& shared();

    // The sidebar's two entries that are not apps: "veldo://developer" and "veldo://orphans".
    static const IdSet& toolSelectionIDs();

    // Tracked state.
    const std::vector<veldo::core::ScopedAccessRoot>& grantedAccess() const
    {
        return confined(m_grantedAccess);
    }
    const std::vector<veldo::core::InstalledApp>& apps() const { return confined(m_apps); }
    const std::string& searchText() const { return confined(m_searchText); }
    veldo::controller::SortOrder sortOrder() const { return confined(m_sortOrder); }
    bool includeSystemApps() const { return confined(m_includeSystemApps); }
    bool isScanningApps() const { return confined(m_isScanningApps); }
    const QUuid& appsScanToken() const { return confined(m_appsScanToken); }
    const veldo::controller::TaskHandle& appsTask() const { return confined(m_appsTask); }
    const std::optional<std::string>& selectedAppID() const { return confined(m_selectedAppID); }
    const veldo::controller::IdSet& selectedAppIDs() const { return confined(m_selectedAppIDs); }
    const std::optional<veldo::core::InstalledApp>& detailApp() const
    {
        return confined(m_detailApp);
    }
    const std::vector<veldo::core::LeftoverItem>& leftovers() const
    {
        return confined(m_leftovers);
    }
    bool isScanningLeftovers() const { return confined(m_isScanningLeftovers); }
    const veldo::controller::IdSet& selectedLeftoverIDs() const
    {
        return confined(m_selectedLeftoverIDs);
    }
    const QUuid& leftoverScanToken() const { return confined(m_leftoverScanToken); }
    const veldo::controller::TaskHandle& leftoverTask() const { return confined(m_leftoverTask); }
    const veldo::core::RunningAppStatus& runningStatus() const { return confined(m_runningStatus); }
    const veldo::controller::LeftoverCache& leftoverCache() const
    {
        return confined(m_leftoverCache);
    }
    std::int64_t leftoverCacheGeneration() const { return confined(m_leftoverCacheGeneration); }
    const std::vector<veldo::controller::BatchAppResult>& batchResults() const
    {
        return confined(m_batchResults);
    }
    bool isScanningBatch() const { return confined(m_isScanningBatch); }
    const veldo::controller::IdSet& batchIncludedIDs() const
    {
        return confined(m_batchIncludedIDs);
    }
    const QUuid& batchScanToken() const { return confined(m_batchScanToken); }
    const veldo::controller::TaskHandle& batchTask() const { return confined(m_batchTask); }
    const std::vector<veldo::core::ToolchainGroup>& toolchainGroups() const
    {
        return confined(m_toolchainGroups);
    }
    bool isScanningDeveloper() const { return confined(m_isScanningDeveloper); }
    bool hasScannedDeveloper() const { return confined(m_hasScannedDeveloper); }
    const veldo::controller::IdSet& selectedToolchainIDs() const
    {
        return confined(m_selectedToolchainIDs);
    }
    const QUuid& developerScanToken() const { return confined(m_developerScanToken); }
    const veldo::controller::TaskHandle& developerTask() const { return confined(m_developerTask); }
    veldo::core::DeveloperTab developerTab() const { return confined(m_developerTab); }
    const std::vector<veldo::core::PackageGroup>& packageGroups() const
    {
        return confined(m_packageGroups);
    }
    bool isScanningPackages() const { return confined(m_isScanningPackages); }
    bool hasScannedPackages() const { return confined(m_hasScannedPackages); }
    const veldo::controller::IdSet& selectedPackageIDs() const
    {
        return confined(m_selectedPackageIDs);
    }
    const QUuid& packageScanToken() const { return confined(m_packageScanToken); }
    const veldo::controller::TaskHandle& packageTask() const { return confined(m_packageTask); }
    const std::optional<veldo::scanners::PackageRemover::Result>& lastPackageResult() const
    {
        return confined(m_lastPackageResult);
    }
    bool isRemoving() const { return confined(m_isRemoving); }
    const std::optional<veldo::removal::UninstallOutcome>& lastOutcome() const
    {
        return confined(m_lastOutcome);
    }
    bool showResultBanner() const { return confined(m_showResultBanner); }
    bool isUndoing() const { return confined(m_isUndoing); }
    veldo::controller::OutcomeSource lastOutcomeSource() const
    {
        return confined(m_lastOutcomeSource);
    }
    const std::optional<veldo::core::InstalledApp>& lastRemovedApp() const
    {
        return confined(m_lastRemovedApp);
    }
    bool lastRemovedAppBundle() const { return confined(m_lastRemovedAppBundle); }
    const std::vector<veldo::controller::UndoFailure>& lastUndoFailures() const
    {
        return confined(m_lastUndoFailures);
    }
    const std::optional<veldo::controller::AdminEscalationRequest>& pendingAdminEscalation() const
    {
        return confined(m_pendingAdminEscalation);
    }
    const veldo::controller::AdminEscalationContinuation& adminEscalationContinuation() const
    {
        return confined(m_adminEscalationContinuation);
    }
    const std::optional<veldo::controller::AppManagementPrompt>& pendingAppManagementPrompt() const
    {
        return confined(m_pendingAppManagementPrompt);
    }
    const veldo::controller::AppManagementContinuation& appManagementContinuation() const
    {
        return confined(m_appManagementContinuation);
    }
    const veldo::scanners::OrphanScanResult& orphanResult() const
    {
        return confined(m_orphanResult);
    }
    bool isScanningOrphans() const { return confined(m_isScanningOrphans); }
    bool hasScannedOrphans() const { return confined(m_hasScannedOrphans); }
    const veldo::controller::IdSet& selectedOrphanIDs() const
    {
        return confined(m_selectedOrphanIDs);
    }
    const QUuid& orphanScanToken() const { return confined(m_orphanScanToken); }
    const veldo::controller::TaskHandle& orphanTask() const { return confined(m_orphanTask); }
    const std::vector<veldo::controller::TrashedAppNotice>& trashNotices() const
    {
        return confined(m_trashNotices);
    }
    bool canReadTrash() const { return confined(m_canReadTrash); }
    bool offerCleanupForTrashedApps() const { return confined(m_offerCleanupForTrashedApps); }
    veldo::controller::DetailAppLocation detailAppLocation() const
    {
        return confined(m_detailAppLocation);
    }
    const veldo::leftovers::CaskIndex& caskIndex() const { return confined(m_caskIndex); }
    const std::optional<veldo::controller::CaskFailure>& caskFailure() const
    {
        return confined(m_caskFailure);
    }
    veldo::controller::SettingsTab settingsTab() const { return confined(m_settingsTab); }
    const std::optional<std::string>& dropNotice() const { return confined(m_dropNotice); }
    const std::optional<veldo::controller::NoticeAlert>& activeAlert() const
    {
        return confined(m_activeAlert);
    }

    void setGrantedAccess(std::vector<veldo::core::ScopedAccessRoot> value);
    void setApps(std::vector<veldo::core::InstalledApp> value);
    void setSearchText(std::string value);
    void setSortOrder(veldo::controller::SortOrder value);
    void setIncludeSystemApps(bool value);
    void setIsScanningApps(bool value);
    void setAppsScanToken(QUuid value);
    void setAppsTask(veldo::controller::TaskHandle value);
    void setSelectedAppID(std::optional<std::string> value);
    void setSelectedAppIDs(veldo::controller::IdSet value);
    void setDetailApp(std::optional<veldo::core::InstalledApp> value);
    void setLeftovers(std::vector<veldo::core::LeftoverItem> value);
    void setIsScanningLeftovers(bool value);
    void setSelectedLeftoverIDs(veldo::controller::IdSet value);
    void setLeftoverScanToken(QUuid value);
    void setLeftoverTask(veldo::controller::TaskHandle value);
    void setRunningStatus(veldo::core::RunningAppStatus value);
    void setLeftoverCache(veldo::controller::LeftoverCache value);
    void setLeftoverCacheGeneration(std::int64_t value);
    void setBatchResults(std::vector<veldo::controller::BatchAppResult> value);
    void setIsScanningBatch(bool value);
    void setBatchIncludedIDs(veldo::controller::IdSet value);
    void setBatchScanToken(QUuid value);
    void setBatchTask(veldo::controller::TaskHandle value);
    void setToolchainGroups(std::vector<veldo::core::ToolchainGroup> value);
    void setIsScanningDeveloper(bool value);
    void setHasScannedDeveloper(bool value);
    void setSelectedToolchainIDs(veldo::controller::IdSet value);
    void setDeveloperScanToken(QUuid value);
    void setDeveloperTask(veldo::controller::TaskHandle value);
    void setDeveloperTab(veldo::core::DeveloperTab value);
    void setPackageGroups(std::vector<veldo::core::PackageGroup> value);
    void setIsScanningPackages(bool value);
    void setHasScannedPackages(bool value);
    void setSelectedPackageIDs(veldo::controller::IdSet value);
    void setPackageScanToken(QUuid value);
    void setPackageTask(veldo::controller::TaskHandle value);
    void setLastPackageResult(std::optional<veldo::scanners::PackageRemover::Result> value);
    void setIsRemoving(bool value);
    void setLastOutcome(std::optional<veldo::removal::UninstallOutcome> value);
    void setShowResultBanner(bool value);
    void setIsUndoing(bool value);
    void setLastOutcomeSource(veldo::controller::OutcomeSource value);
    void setLastRemovedApp(std::optional<veldo::core::InstalledApp> value);
    void setLastRemovedAppBundle(bool value);
    void setLastUndoFailures(std::vector<veldo::controller::UndoFailure> value);
    void setPendingAdminEscalation(std::optional<veldo::controller::AdminEscalationRequest> value);
    void setAdminEscalationContinuation(veldo::controller::AdminEscalationContinuation value);
    void setPendingAppManagementPrompt(std::optional<veldo::controller::AppManagementPrompt> value);
    void setAppManagementContinuation(veldo::controller::AppManagementContinuation value);
    void setOrphanResult(veldo::scanners::OrphanScanResult value);
    void setIsScanningOrphans(bool value);
    void setHasScannedOrphans(bool value);
    void setSelectedOrphanIDs(veldo::controller::IdSet value);
    void setOrphanScanToken(QUuid value);
    void setOrphanTask(veldo::controller::TaskHandle value);
    void setTrashNotices(std::vector<veldo::controller::TrashedAppNotice> value);
    void setCanReadTrash(bool value);
    void setOfferCleanupForTrashedApps(bool value);
    void setDetailAppLocation(veldo::controller::DetailAppLocation value);
    void setCaskIndex(veldo::leftovers::CaskIndex value);
    void setCaskFailure(std::optional<veldo::controller::CaskFailure> value);
    void setSettingsTab(veldo::controller::SettingsTab value);
    void setDropNotice(std::optional<std::string> value);
    void setActiveAlert(std::optional<veldo::controller::NoticeAlert> value);

    // Untracked state.
    const core::ScopedAccessStore& accessStore() const { return *confined(m_accessStore); }
    const std::shared_ptr<core::CleanupSettings>& settings() const { return confined(m_settings); }
    const std::shared_ptr<core::CleanupStats>& stats() const { return confined(m_stats); }
    const std::shared_ptr<platform::UserDefaults>& defaults() const { return confined(m_defaults); }
    core::TrashNoticeGate& trashNoticeGate() { return confined(m_trashNoticeGate); }
    const TaskHandle& caskIndexTask() const { return confined(m_caskIndexTask); }

    // Derived state: computed from the state at each call. Sizes and counts of what may be
    // removed keep only removableItems().
    std::optional<core::InstalledApp> selectedApp() const;
    std::vector<core::InstalledApp> selectedApps() const;
    std::vector<core::InstalledApp> sortedApps() const;
    std::vector<core::LeftoverItem> selectedLeftovers() const;
    // What a removal of the selection moves: removableItems() of selectedLeftovers(). Its count
    // goes beside selectedLeftoverBytes(), the sum of its sizes.
    std::vector<core::LeftoverItem> selectedRemovableLeftovers() const;
    std::int64_t selectedLeftoverBytes() const;
    std::int64_t removableLeftoverBytes() const;
    std::vector<core::ToolchainItem> selectedToolchainItems() const;
    std::int64_t toolchainTotalBytes() const;
    std::vector<core::DevPackage> selectedPackages() const;
    std::vector<BatchAppResult> includedBatchResults() const;
    std::int64_t includedBatchBytes() const;
    int includedBatchItemCount() const;
    // The size of what the batch removes of one result.
    std::int64_t selectedBytes(const BatchAppResult& result) const;
    bool hasGrantedAccess(core::AccessRootKind kind) const;
    std::optional<platform::MacPath> grantedURL(core::AccessRootKind kind) const;

    // The context of every removal: the real user's home, this program's bundle as the one
    // protected bundle, the listed apps, disk inspection on. Built afresh at each call.
    common::RemovalSafety::Context removalSafetyContext() const;

    // The items, in order, that the nesting filter keeps (no item inside or repeating another)
    // and that the removal-safety policy lets through under removalSafetyContext(). Verdicts are
    // kept until `apps` or a list they judge (leftovers, batch results, orphans) changes.
    template <typename Item>
    std::vector<Item> removableItems(const std::vector<Item>& items) const
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        std::vector<Item> kept;
        for (Item& item : core::RemovalSafety::filterRemovable(items, false).removable)
            if (isLetThrough(item.url))
                kept.push_back(std::move(item));
        return kept;
    }

    // The ids of the suggested items (confidence exactly medium) of every group, in group
    // order, leaving out those that need administrator rights unless `includeAdminRequired`.
    static IdSet suggestedOrphanPaths(const std::vector<scanners::OrphanGroup>& groups,
                                      bool includeAdminRequired);

    // The failed application items of `outcome`, in order, that App Management refused, that
    // need no administrator rights and that an escalation may still remove.
    static std::vector<core::LeftoverItem>
    appManagementDeniedApps(const removal::UninstallOutcome& outcome);
    // False when either list is empty; else whether every id of `items` is an id of `in`.
    static bool allContained(const std::vector<core::LeftoverItem>& items,
                             const std::vector<core::LeftoverItem>& in);
    // `items` less every application item at `url` (standardised paths compared).
    static std::vector<core::LeftoverItem>
    removingAppBundle(const platform::MacPath& url, const std::vector<core::LeftoverItem>& items);

    // The removal-safety policy's sentence for an item at `url` that it refuses under
    // removalSafetyContext(); none when it lets the item through. Judged with the verdicts of
    // removableItems().
    std::optional<std::string> removalRefusalSentence(const platform::MacPath& url) const;

    // Selects the leftovers that the removal-safety policy lets through.
    void selectAllLeftovers();

    // Selection pruning: an id stays when it is a sidebar tool entry, an id of a listed app, or
    // the id of the app in the detail pane; after a selection change the last counts only for
    // a one-element selection. Ids are compared exactly.
    static bool selectionSurvivesAppScan(const std::string& id, const IdSet& listedAppIDs,
                                         const std::optional<std::string>& detailAppID);
    static bool selectionSurvivesSelectionChange(const std::string& id, const IdSet& listedAppIDs,
                                                 const std::optional<std::string>& detailAppID,
                                                 const IdSet& newSelection);

    // Where the app's bundle is now: removed when no file is at its path, else in the Trash or
    // installed. Never notFound.
    DetailAppLocation detailAppLocation(const core::InstalledApp& app) const;

    // "Helpers of “A”, “B” are still running and may recreate some files. Quit them from the
    // menu bar or Activity Monitor."; none for no apps.
    static std::optional<std::string>
    helperProcessesNotice(const std::vector<core::InstalledApp>& apps);

    // The background body of the leftover scan of one app: runs the leftover scan service on
    // copies of its arguments and touches nothing of the controller, so it may run on a pool.
    std::function<Result<std::vector<core::LeftoverItem>>()>
    leftoverScanWork(core::InstalledApp app, std::vector<core::ScopedAccessRoot> roots,
                     std::stop_token stop) const;

    // Waits until none of `apps` runs (main process or helpers) or `timeout` has passed on the
    // steady clock, looking first at once and then after each interval of the durations. Answers
    // what still runs, split by standardised path into main processes and helpers only.
    Task<QuitWaitResult> waitForAppsToQuit(std::vector<core::InstalledApp> apps,
                                           std::chrono::milliseconds timeout);

    // Before a removal of `app`: when the settings ask to quit first and the app or one of its
    // helpers runs, asks it to quit, waits as waitForAppsToQuit does and refreshes the running
    // status shown when the app is still selected. Answers none when its main process still runs,
    // after showing "“<name>” didn’t quit, so <notDone>. Quit it and try again." and ending the
    // removing state; else what was left running as helpers only (nothing when it did not wait).
    Task<std::optional<QuitWaitResult>> quitBeforeRemoval(core::InstalledApp app,
                                                          std::string notDone);

    // Prompts. A request answers a pending request of its kind first (false, cancel), stores
    // the continuation, then the request, and suspends until the sheet answers; the answer
    // resumes it on a later turn of the event loop, exactly once.
    Task<bool> requestAdminConfirmation(std::vector<core::LeftoverItem> items, bool usesHelper);
    Task<AppManagementChoice> requestAppManagementDecision(std::vector<core::LeftoverItem> items,
                                                           bool usesHelper);
    void resolveAdminEscalation(bool answer);
    void resolveAppManagementPrompt(AppManagementChoice choice);

    // App list and leftover scans. Every scan cancels its kind's stored task, stamps a fresh
    // token and raises its busy flag; its service runs on scanPool with copies of what it needs,
    // and its result is applied only while the token is still the one it stamped and (except
    // for the app list) its task was not cancelled. A dropped result changes nothing.
    //
    // Rescans the installed apps into `apps`; without access to either Applications folder the
    // list is emptied and the detail cleared. An accepted scan empties the leftover cache and
    // prunes the selections. A failed scan keeps the previous list.
    Task<void> scanApps();
    // Drops selections and batch entries whose app left `apps`; the tool entries and the detail
    // app's id stay.
    void pruneSelections();
    // Empties the detail pane and stops its leftover scan; running status and location stay.
    void clearDetail();
    // Makes `app` the single selection and the detail app, then scans its leftovers afresh.
    Task<void> showApp(core::InstalledApp app);
    // Scans the leftovers of `app` into `leftovers` with the default selection. A superseded
    // scan is stopped through its token. For an app in the Trash, its own bundle is left out.
    // The cache is written only when it was not emptied meanwhile.
    Task<void> loadLeftovers(core::InstalledApp app);
    // The user's rescan of the selected app: forgets its cache entry and scans again.
    Task<void> scanLeftovers();
    // An app bundle went to the Trash: the detail pane follows it when it is the detail app
    // (by original path, else by bundle id ignoring case) and its file is gone. Starts the
    // follow-up scan and returns without waiting for it.
    void detailAppTrashed(core::WatchedAppBundle bundle);
    // Re-derives the detail app's location after library changes and rescans when it changed;
    // a trashed detail app that vanished gives way to an installed app with its bundle id.
    Task<void> refreshDetailLocation();
    // The ids of the items selected by default under the current settings, in list order. An
    // item the removal-safety policy refuses is never among them: it would not move, so it is
    // not ticked for the user.
    IdSet defaultLeftoverSelection(const std::vector<core::LeftoverItem>& items) const;

    // Selection, drops and quit.
    //
    // The sidebar's new selection: one app shows its detail, two or more apps are batch-scanned
    // (tool entries dropped), a tool entry or nothing clears both.
    Task<void> selectApps(IdSet ids);
    // An item dropped on the window or opened with the application: an app is added to `apps`
    // when new, shown and scanned, with the removal-safety sentence as `dropNotice` when the
    // policy refuses it; anything else only sets the not-an-application notice.
    Task<void> handleDrop(platform::MacPath url);
    // Asks the selected app to quit, waits for it, then rescans it if it is still selected.
    Task<void> quitAndRescan();
    // Empties the batch and stops its scan.
    void clearBatch();

    // Batch scan, cask lookup and opening apps.
    //
    // Lists every selected app with its leftovers for the batch screen. Apps with a cached list
    // are listed at once, without a task; the others are scanned, at most three at a time, and
    // their lists enter the cache even when a newer batch supersedes this one (unless the cache
    // was emptied meanwhile). Only the latest batch is listed, in selectedApps() order. An app
    // that stayed in the batch keeps the user's tick; an app new to it is ticked when it is not
    // protected and something of it is selected by default.
    Task<void> scanBatch();
    // The cask in `caskIndex` that installed the app at `url`; none while the index is empty.
    std::optional<leftovers::CaskInfo> caskToken(const platform::MacPath& url) const;
    // Reloads `caskIndex` in the background (brew may run); a newer reload supersedes this one.
    // The index is replaced only when it changed.
    void refreshCaskIndex(bool force);
    // Items opened with the application or dropped on a window: only paths whose extension is
    // exactly "app" count. Waits for a running app scan (or scans when the list is empty), then
    // shows a single app, or selects two or more listed apps together; `dropNotice` says what
    // was not opened.
    Task<void> openApps(std::vector<platform::MacPath> urls);
    // How many inner scans one batch runs at the same time.
    static constexpr std::size_t kBatchScanWindow = 3;

    // Orphan and developer scans.
    //
    // Scans for orphaned files, over `apps` when system apps are listed (and `apps` is not
    // empty), else over the apps the scanner collects; cancelling the task stops the scanner.
    // Nothing is preselected; a cancelled scan does not count as scanned. The findings are
    // judged for removal safety in the background too, under the context of the scan's start;
    // those verdicts are kept only if that context is still removalSafetyContext() when the
    // result lands.
    Task<void> scanOrphans();
    // Measures the developer tools under the home folder and preselects the caches.
    Task<void> scanDeveloper();

    // Removals and Undo. Each operation checks the busy flags (isRemoving, isUndoing) and sets
    // its own before its first suspension, so a second press finds it set and does nothing.
    //
    // Registers with the Trash-notice gate what the program is about to move: the items' paths
    // and the bundle id of each of `apps` whose bundle path (standardised) is among them.
    // Nothing for no items.
    void expectRemoval(const std::vector<core::LeftoverItem>& items,
                       const std::vector<core::InstalledApp>& apps);
    // The removal engine, after every Trash run: escalates the failed items the Trash run marked
    // escalatable after the user's consent (the App Management decision when every one of them
    // is an app App Management refused, else the administrator confirmation), boots the user
    // launch agents among them out, moves them with administrator rights, bootstraps the agents
    // that stayed, and merges the moves into the outcome as restore points that need
    // administrator rights. Nothing escalatable, or a declined prompt, answers `outcome` as it was.
    // The administrator move adds what it moved to `count`.
    Task<removal::UninstallOutcome> performRemoval(removal::UninstallOutcome outcome,
                                                   RemovalCount count = {});
    // The review sheet's "Move to Trash": quits the selected app when the settings say so (and
    // stops with a notice when it keeps running), moves the selected leftovers to the Trash,
    // escalates, and records the outcome (banner, lists, statistics, sound, helper notice).
    Task<void> uninstallApp();
    // Ticks or unticks one leftover of the detail pane.
    void toggleLeftover(const core::LeftoverItem& item);
    // Includes or leaves out one app of the batch; always notifies.
    void toggleBatchIncluded(const std::string& id);
    // Removes the default-selected items of the included batch apps that are not protected, in
    // one Trash run; apps that do not quit in time keep their files and are named in a notice.
    Task<void> removeBatch();
    // Puts the last removal's restore points back, takes what came back off the statistics,
    // keeps the points the user may retry, reports what stays in the Trash, and rescans. Does
    // nothing unless canUndo().
    Task<void> undoLastRemoval();
    // Undo as the Edit menu and the result banner offer it. An outcome can be undone when it
    // kept restore points; putting it back needs the administrator password when one of them
    // was moved with it.
    static bool canBeUndone(const removal::UninstallOutcome& outcome);
    static bool undoNeedsAdministrator(const removal::UninstallOutcome& outcome);
    // Whether undoLastRemoval() acts now: the last outcome can be undone and neither a removal
    // nor an Undo runs. Follows lastOutcome, isRemoving and isUndoing.
    bool canUndo() const;
    // "Undo Last Cleanup…" when the last outcome's Undo needs the administrator password, else
    // "Undo Last Cleanup".
    std::string undoTitle() const;
    // The steps every removal shares. The Trash run on toolPool, with the access roots and the
    // removal-safety context of the moment it starts:
    // what it moved goes to `count`;
    Task<removal::UninstallOutcome> runTrash(std::vector<core::LeftoverItem> items,
                                             RemovalCount count = {});
    // the tally of a removal about to run its steps, which shutdown() records while it stays
    // open, and its close once the removal records its outcome itself;
    RemovalCount openTally(std::function<bool(const core::LeftoverItem&)> countsAsApp);
    void closeTally(const RemovalCount& count);
    // the first step with the final outcome: its restore points' Trash locations go to the
    // Trash-notice gate;
    void expectTrashLocations(const removal::UninstallOutcome& outcome);
    // and the completion sound: "Glass" when nothing failed, else "Funk", when the settings ask.
    void playCompletionSound(const removal::UninstallOutcome& outcome) const;
    // The window's services (see ControllerServices): the application installs them once, before
    // any window or hand-off exists. An empty function leaves the service doing nothing.
    void installUiServices(std::function<void(const std::vector<platform::MacPath>&)> reveal,
                           std::function<void(const SavePanelRequest&, SavePanelAnswer)> savePanel,
                           std::function<void(const std::string& message)> alert);

    // ---- Library events and Trash notices, Homebrew casks, developer and orphan actions,
    // report export and reveal. ----
    //
    // Starts the app-library watcher and the one thread that reads its events, once per
    // controller; later calls, and calls after shutdown, do nothing. Each event is handled on
    // the GUI thread, in order, by handleLibraryEvent().
    void startLibraryWatcher();
    // Apps moved to the Trash or removed: the detail pane follows, then a notice may be
    // prepared; running apps: refreshRunningStatus(); Trash access: `canReadTrash`; library
    // changes: scheduleAppsRefresh().
    void handleLibraryEvent(const core::AppLibraryWatcher::Event& event);
    // Replaces the pending app-list refresh: it rescans after the refresh delay, re-checking
    // after each interval while a removal or Undo runs, and only with access to an
    // Applications folder; then re-derives the detail app's location unless replaced meanwhile.
    void scheduleAppsRefresh();
    // The detail app's running status, for a single selection, and `isRunning` of each batch
    // result; each written only when it changed.
    void refreshRunningStatus();
    // Decides through the gate whether a trashed or vanished app gets a notice, and starts its
    // preparation without keeping the task.
    void handleAppTrashed(core::WatchedAppBundle bundle);
    // Whether a listed app with `bundleID` (lower-cased; case ignored) other than the bundle's
    // own paths lies outside the Trash and exists on disk.
    bool hasLiveInstalledCopy(const std::string& bundleID,
                              const core::WatchedAppBundle& bundle) const;
    // Looks for another live copy (registry, then the bounded search when the bundle has no
    // Trash place), scans the app's leftovers and shows a notice when any besides app bundles
    // are found, replacing one with the same id.
    Task<void> prepareTrashNotice(core::WatchedAppBundle bundle, core::InstalledApp app,
                                  std::vector<core::ScopedAccessRoot> accessRoots);
    // The app that is the notice's app installed again, outside every Trash and on disk: the
    // listed one back at the bundle's original place, else the bundle found there with its
    // bundle id (case ignored) though not listed yet, else a listed one with its bundle id.
    // None while the app is still away.
    std::optional<core::InstalledApp> installedAgain(const core::WatchedAppBundle& bundle) const;
    // Removes the notice, empties the batch, shows and scans its app; an app that only
    // vanished is then marked not found with nothing ticked, unless brew deleted it from the
    // package list. An app installed again meanwhile is shown as it is now, installed.
    Task<void> reviewTrashedApp(TrashedAppNotice notice);
    // Removes every notice with the notice's id; the gate keeps its record.
    void dismissTrashNotice(const TrashedAppNotice& notice);
    // Takes what a removal moved or found gone (the items and everything beneath them) out of
    // the notices' items and counts; a notice left with no item goes.
    void dropMovedItemsFromTrashNotices(const removal::UninstallOutcome& outcome);

    // The cask of the detail app that Homebrew may uninstall: its token and whether it has zap
    // items; none without a cask, for a protected app, or an app not installed in place.
    struct DetailCaskState
    {
        std::string token;
        bool zapAvailable = false;
        friend bool operator==(const DetailCaskState&, const DetailCaskState&) = default;
    };
    std::optional<DetailCaskState> detailCaskState() const;
    // Lets Homebrew uninstall the detail app's cask: quits the app first when the setting asks,
    // runs brew on toolPool, reloads the cask index, then reports a failure in `caskFailure`
    // or success in `dropNotice` with the app's leftovers shown for review. The app and its
    // size are taken before brew runs; when another app is selected meanwhile, the selection
    // and the detail pane stay as they are.
    Task<void> uninstallCask(leftovers::HomebrewCasks::Zap zap);
    // The message of a failed cask uninstall.
    static std::string
    caskFailureMessage(const leftovers::HomebrewCasks::UninstallFailure& failure);

    // Developer footprint: toolchain items and packages.
    Task<void> scanDeveloperIfNeeded();
    void toggleToolchainItem(const core::ToolchainItem& item);
    void selectAllToolchainItems();
    // Moves the selected toolchain items to the Trash as certain caches, through the removal
    // engine; what went is pruned from the list and the selection, nothing is rescanned.
    Task<void> removeToolchains();
    Task<void> scanPackagesIfNeeded();
    // Lists the packages again; only the newest scan's result is applied.
    Task<void> scanPackages();
    void togglePackage(const core::DevPackage& package);
    bool isPackageSelected(const core::DevPackage& package) const;
    void selectAllPackages();
    // Uninstalls the selected packages on toolPool; a cask of a protected listed app is
    // refused first. Failures raise an alert; the lists are scanned again.
    Task<void> removePackages();
    // After a package run: the apps stamped as deleted by Homebrew whose cask (the pair's
    // second) is not among `removed` lose their stamp.
    void forgetCasksBrewKept(const std::vector<std::pair<std::string, std::string>>& stamped,
                             const std::vector<core::DevPackage>& removed);
    // "Uninstalled N package(s)" with " · size" when the removed packages have one.
    static std::string packageSummary(const scanners::PackageRemover::Result& result);
    // The alert of a batch with failures: its title and message.
    static NoticeAlert packageFailureAlert(const scanners::PackageRemover::Result& result);

    // Orphaned files.
    std::vector<core::LeftoverItem> selectedOrphans() const;
    std::int64_t selectedOrphanBytes() const;
    void toggleOrphan(const scanners::OrphanFinding& finding);
    void toggleOrphanGroup(const scanners::OrphanGroup& group, bool selected);
    // Moves the selected orphans to the Trash through the removal engine and prunes what went.
    Task<void> removeOrphans();
    // The total size of what removableItems() keeps of `items`.
    std::int64_t removableBytes(const std::vector<core::LeftoverItem>& items) const;

    // Saves the cleanup report of the detail app, with the leftovers and ticks of the moment of
    // the call, where the save panel says, then reveals it; a failure shows its sentence.
    Task<void> exportReport();
    // Reveals the URLs at which an item exists (a link counts by itself), in order.
    void revealAlertURLs(std::vector<platform::MacPath> urls);

    // The task core.
    TaskScope& taskScope() { return confined(m_tasks); }
    QThreadPool& scanPool() { return confined(m_scanPool); }
    QThreadPool& toolPool() { return confined(m_toolPool); }
    const ControllerDurations& durations() const { return confined(m_services).durations; }
    const ControllerServices& services() const { return confined(m_services); }
    // The token every blocking service the controller runs takes as its last parameter.
    std::stop_token shutdownToken() const { return confined(m_shutdownSource).get_token(); }
    // Stops the services, waits for both pools, records in the statistics what the removals it
    // ends had moved, then destroys the suspended tasks. Blocks the GUI thread until every
    // background function has returned. Idempotent.
    void shutdown();

signals:
    void grantedAccessChanged();
    void appsChanged();
    void searchTextChanged();
    void sortOrderChanged();
    void includeSystemAppsChanged();
    void isScanningAppsChanged();
    void appsScanTokenChanged();
    void appsTaskChanged();
    void selectedAppIDChanged();
    void selectedAppIDsChanged();
    void detailAppChanged();
    void leftoversChanged();
    void isScanningLeftoversChanged();
    void selectedLeftoverIDsChanged();
    void leftoverScanTokenChanged();
    void leftoverTaskChanged();
    void runningStatusChanged();
    void leftoverCacheChanged();
    void leftoverCacheGenerationChanged();
    void batchResultsChanged();
    void isScanningBatchChanged();
    void batchIncludedIDsChanged();
    void batchScanTokenChanged();
    void batchTaskChanged();
    void toolchainGroupsChanged();
    void isScanningDeveloperChanged();
    void hasScannedDeveloperChanged();
    void selectedToolchainIDsChanged();
    void developerScanTokenChanged();
    void developerTaskChanged();
    void developerTabChanged();
    void packageGroupsChanged();
    void isScanningPackagesChanged();
    void hasScannedPackagesChanged();
    void selectedPackageIDsChanged();
    void packageScanTokenChanged();
    void packageTaskChanged();
    void lastPackageResultChanged();
    void isRemovingChanged();
    void lastOutcomeChanged();
    void showResultBannerChanged();
    void isUndoingChanged();
    void lastOutcomeSourceChanged();
    void lastRemovedAppChanged();
    void lastRemovedAppBundleChanged();
    void lastUndoFailuresChanged();
    void pendingAdminEscalationChanged();
    void adminEscalationContinuationChanged();
    void pendingAppManagementPromptChanged();
    void appManagementContinuationChanged();
    void orphanResultChanged();
    void isScanningOrphansChanged();
    void hasScannedOrphansChanged();
    void selectedOrphanIDsChanged();
    void orphanScanTokenChanged();
    void orphanTaskChanged();
    void trashNoticesChanged();
    void canReadTrashChanged();
    void offerCleanupForTrashedAppsChanged();
    void detailAppLocationChanged();
    void caskIndexChanged();
    void caskFailureChanged();
    void settingsTabChanged();
    void dropNoticeChanged();
    void activeAlertChanged();

private:
    // A member, reached on the controller's thread: debug builds abort anywhere else.
    template <typename T>
    T& confined(T& member) const
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        return member;
    }
    template <typename T, typename Signal>
    bool assign(T& field, T&& value, Signal signal)
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        if (field == value)
            return false;
        // NOLINTNEXTLINE(bugprone-move-forwarding-reference): T is the field's, value an rvalue
        field = std::move(value);
        Q_EMIT(this->*signal)();
        return true;
    }
    // As assign(), for a list the removal-safety verdicts judge: the kept verdicts are forgotten
    // before anyone is notified, so a receiver never reads verdicts of the previous list.
    template <typename T, typename Signal>
    bool assignJudged(T& field, T&& value, Signal signal)
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        if (field == value)
            return false;
        // NOLINTNEXTLINE(bugprone-move-forwarding-reference): T is the field's, value an rvalue
        field = std::move(value);
        forgetVerdicts();
        Q_EMIT(this->*signal)();
        return true;
    }
    template <typename T, typename Signal>
    bool assignAlways(T& field, T&& value, Signal signal)
    {
        VELDO_CHECK_SEQUENCE(m_sequence);
        // NOLINTNEXTLINE(bugprone-move-forwarding-reference): T is the field's, value an rvalue
        field = std::move(value);
        Q_EMIT(this->*signal)();
        return true;
    }

    bool isLetThrough(const platform::MacPath& url) const;
    void forgetVerdicts();
    // Forgets the kept verdicts, then keeps `verdicts` when they were judged under the context
    // removalSafetyContext() gives now; otherwise the paths are judged again when asked.
    void adoptVerdicts(RemovalVerdicts verdicts);
    // Empties the leftover cache (notifying only if it held entries) and raises its generation.
    void emptyLeftoverCache();
    // The Undo's rescans after something came back.
    Task<void> rescanAfterUndo(std::vector<core::LeftoverItem> restored);

    // The start of every scan of a kind: cancels the kind's stored task, so that its result is
    // dropped, and stamps a fresh token through `setToken`, which it answers.
    QUuid supersedeScan(const TaskHandle& task, void (UninstallViewModel::*setToken)(QUuid));
    // Runs `work` on scanPool with the shutdown token, or with a token that cancelling the
    // returned task also stops.
    template <typename R>
    Task<R> backgroundScan(std::function<R(std::stop_token)> work, bool stopsOnCancel);
    // The batch scan's parts: the window of inner scans over `apps`, answering (app, leftovers)
    // pairs in order of completion (what it collected when cancelled); one inner scan; the ids
    // of the apps that run, from one reading (for the pool); the rebuild of the batch from the
    // cache; the cask index load behind refreshCaskIndex().
    struct BatchWindow;
    using BatchScanPair = std::pair<core::InstalledApp, std::vector<core::LeftoverItem>>;
    Task<std::vector<BatchScanPair>> batchScanWindow(std::vector<core::InstalledApp> apps,
                                                     std::vector<core::ScopedAccessRoot> roots);
    Task<void> batchScanOne(std::shared_ptr<BatchWindow> window, core::InstalledApp app,
                            std::vector<core::ScopedAccessRoot> roots);
    std::function<IdSet()> runningAppsWork(std::vector<core::InstalledApp> apps) const;
    void rebuildBatch(const std::vector<core::InstalledApp>& selected, const IdSet& previous,
                      const QUuid& token, const IdSet& running);
    Task<void> caskIndexLoad(bool force);
    // Writes that notify even when the value is equal.
    void publishBatchResults(std::vector<BatchAppResult> value);
    // The orphan result, with the verdicts its scan judged (adopted before anyone is notified).
    void publishOrphanResult(scanners::OrphanScanResult value, RemovalVerdicts verdicts);
    void publishToolchainGroups(std::vector<core::ToolchainGroup> value);

    // Constants first: the tasks of the scope use the pools and the services.
    std::unique_ptr<core::ScopedAccessStore> m_accessStore;
    std::shared_ptr<core::CleanupSettings> m_settings;
    std::shared_ptr<core::CleanupStats> m_stats;
    std::shared_ptr<platform::UserDefaults> m_defaults;
    ControllerServices m_services;
    platform::NameCollator m_collator;

    std::vector<veldo::core::ScopedAccessRoot> m_grantedAccess;
    std::vector<veldo::core::InstalledApp> m_apps;
    std::string m_searchText;
    veldo::controller::SortOrder m_sortOrder = veldo::controller::SortOrder::name;
    bool m_includeSystemApps = false;
    bool m_isScanningApps = false;
    QUuid m_appsScanToken = QUuid::createUuid();
    veldo::controller::TaskHandle m_appsTask;
    std::optional<std::string> m_selectedAppID;
    veldo::controller::IdSet m_selectedAppIDs;
    std::optional<veldo::core::InstalledApp> m_detailApp;
    std::vector<veldo::core::LeftoverItem> m_leftovers;
    bool m_isScanningLeftovers = false;
    veldo::controller::IdSet m_selectedLeftoverIDs;
    QUuid m_leftoverScanToken = QUuid::createUuid();
    veldo::controller::TaskHandle m_leftoverTask;
    veldo::core::RunningAppStatus m_runningStatus;
    veldo::controller::LeftoverCache m_leftoverCache;
    std::int64_t m_leftoverCacheGeneration = 0;
    std::vector<veldo::controller::BatchAppResult> m_batchResults;
    bool m_isScanningBatch = false;
    veldo::controller::IdSet m_batchIncludedIDs;
    QUuid m_batchScanToken = QUuid::createUuid();
    veldo::controller::TaskHandle m_batchTask;
    std::vector<veldo::core::ToolchainGroup> m_toolchainGroups;
    bool m_isScanningDeveloper = false;
    bool m_hasScannedDeveloper = false;
    veldo::controller::IdSet m_selectedToolchainIDs;
    QUuid m_developerScanToken = QUuid::createUuid();
    veldo::controller::TaskHandle m_developerTask;
    veldo::core::DeveloperTab m_developerTab = veldo::core::DeveloperTab::footprint;
    std::vector<veldo::core::PackageGroup> m_packageGroups;
    bool m_isScanningPackages = false;
    bool m_hasScannedPackages = false;
    veldo::controller::IdSet m_selectedPackageIDs;
    QUuid m_packageScanToken = QUuid::createUuid();
    veldo::controller::TaskHandle m_packageTask;
    std::optional<veldo::scanners::PackageRemover::Result> m_lastPackageResult;
    bool m_isRemoving = false;
    std::optional<veldo::removal::UninstallOutcome> m_lastOutcome;
    bool m_showResultBanner = false;
    bool m_isUndoing = false;
    veldo::controller::OutcomeSource m_lastOutcomeSource = veldo::controller::OutcomeSource::app;
    std::optional<veldo::core::InstalledApp> m_lastRemovedApp;
    bool m_lastRemovedAppBundle = false;
    std::vector<veldo::controller::UndoFailure> m_lastUndoFailures;
    std::optional<veldo::controller::AdminEscalationRequest> m_pendingAdminEscalation;
    veldo::controller::AdminEscalationContinuation m_adminEscalationContinuation;
    std::optional<veldo::controller::AppManagementPrompt> m_pendingAppManagementPrompt;
    veldo::controller::AppManagementContinuation m_appManagementContinuation;
    veldo::scanners::OrphanScanResult m_orphanResult = veldo::scanners::OrphanScanResult::empty;
    bool m_isScanningOrphans = false;
    bool m_hasScannedOrphans = false;
    veldo::controller::IdSet m_selectedOrphanIDs;
    QUuid m_orphanScanToken = QUuid::createUuid();
    veldo::controller::TaskHandle m_orphanTask;
    std::vector<veldo::controller::TrashedAppNotice> m_trashNotices;
    bool m_canReadTrash = true;
    bool m_offerCleanupForTrashedApps = true;
    veldo::controller::DetailAppLocation m_detailAppLocation =
        veldo::controller::DetailAppLocation::installed;
    veldo::leftovers::CaskIndex m_caskIndex;
    std::optional<veldo::controller::CaskFailure> m_caskFailure;
    veldo::controller::SettingsTab m_settingsTab = veldo::controller::SettingsTab::general;
    std::optional<std::string> m_dropNotice;
    std::optional<veldo::controller::NoticeAlert> m_activeAlert;

    core::TrashNoticeGate m_trashNoticeGate;
    // Standardised paths of the app bundles of casks brew was run to uninstall from the package
    // list, with when: a notice for one within the gate's expectation lifetime says the app was
    // removed, not lost.
    std::map<std::string, std::chrono::steady_clock::time_point> m_deletedByHomebrew;
    TaskHandle m_appsRefreshTask;
    TaskHandle m_caskIndexTask;

    // The app-library watcher, its stream and reader, and the pending app-list refresh.
    std::shared_ptr<core::AppLibraryWatcher> m_libraryWatcher;
    std::shared_ptr<core::EventStream<core::AppLibraryWatcher::Event>> m_libraryStream;
    std::unique_ptr<StreamReader<core::AppLibraryWatcher::Event>> m_libraryReader;
    QTimer* m_appsRefreshTimer = nullptr;
    // Stops the reader, ends the stream and lets the watcher go; part of shutdown().
    void stopLibraryWatcher();
    void appsRefreshTimerFired();
    Task<void> refreshAppsAfterLibraryChange();
    // Runs `work` on toolPool with the shutdown token.
    template <typename R>
    Task<R> backgroundTool(std::function<R(std::stop_token)> work);
    // "Glass" when nothing failed, else "Funk", when the setting asks for sounds.
    void playCompletionSound(bool nothingFailed) const;
    // The removal road of the tool screens: registers the items with the Trash-notice gate,
    // runs the Trash and the removal engine.
    Task<removal::UninstallOutcome> removeThroughEngine(std::vector<core::LeftoverItem> items,
                                                        RemovalCount count);
    // Records a tool screen's removal: gate, banner, leftover cache and statistics.
    void recordToolRemoval(const removal::UninstallOutcome& outcome, OutcomeSource source);

    // Removal-safety verdicts by path, and the prepared context they were judged under.
    mutable RemovalVerdicts m_verdicts;

    platform::SequenceChecker m_sequence{"UninstallViewModel"};
    std::stop_source m_shutdownSource;
    bool m_shutDown = false;
    // The tallies of the removals that run (openTally, closeTally).
    std::vector<std::shared_ptr<RemovalTally>> m_openTallies;
    QThreadPool m_scanPool;
    QThreadPool m_toolPool;
    TaskScope m_tasks{*this};
};

} // namespace veldo::controller
