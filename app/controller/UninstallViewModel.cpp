// UninstallViewModel: construction, setters, shutdown and the prompts.
#include "app/controller/UninstallViewModel.h"

#include <utility>

#include <QCoreApplication>
#include <QThread>

#include "platform/Home.h"
#include "platform/MainBundle.h"

namespace veldo::controller {

namespace {

constexpr int kToolPoolThreads = 4;

std::vector<core::ScopedAccessRoot> standardAccessRoots()
{
    const platform::MacPath home = platform::homeDirectory();
    return {
        {core::AccessRootKind::applications, platform::MacPath("/Applications")},
        {core::AccessRootKind::userApplications, home.appendingPathComponent("Applications")},
        {core::AccessRootKind::userLibrary, home.appendingPathComponent("Library")},
        {core::AccessRootKind::systemLibrary, platform::MacPath("/Library")},
    };
}

} // namespace

UninstallViewModel::UninstallViewModel(std::shared_ptr<core::CleanupSettings> settings,
                                       std::shared_ptr<core::CleanupStats> stats,
                                       std::shared_ptr<platform::UserDefaults> defaults,
                                       ControllerServices services, QObject* parent)
    : QObject(parent),
      m_accessStore(std::make_unique<core::ScopedAccessStore>(
          std::string(core::ScopedAccessStore::kDefaultsKey), platform::UserDefaults::standard())),
      m_settings(settings ? std::move(settings) : core::CleanupSettings::shared()),
      m_stats(stats ? std::move(stats) : core::CleanupStats::shared()),
      m_defaults(defaults ? std::move(defaults) : platform::UserDefaults::standard()),
      m_services(services.withDefaults())
{
    m_trashNoticeGate.expectationLifetime = std::chrono::seconds(180);
    m_trashNoticeGate.repeatInterval = std::chrono::seconds(600);
    m_trashNoticeGate.ownBundleID = platform::mainBundleIdentifier();

    const std::optional<platform::PlistValue> offer =
        m_defaults->object(kOfferCleanupForTrashedAppsKey);
    m_offerCleanupForTrashedApps = offer ? offer->asBoolean().value_or(true) : true;

    m_scanPool.setMaxThreadCount(QThread::idealThreadCount());
    m_toolPool.setMaxThreadCount(kToolPoolThreads);
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &UninstallViewModel::shutdown);

    setGrantedAccess(standardAccessRoots());
}

UninstallViewModel::~UninstallViewModel()
{
    shutdown();
}

UninstallViewModel& UninstallViewModel::shared()
{
    static UninstallViewModel* const instance = new UninstallViewModel();
    return *instance;
}

const IdSet& UninstallViewModel::toolSelectionIDs()
{
    static const IdSet ids{"veldo://developer", "veldo://orphans"};
    return ids;
}

void UninstallViewModel::shutdown()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_shutdownSource.request_stop();
    stopLibraryWatcher();
    m_scanPool.waitForDone();
    m_toolPool.waitForDone();
    // What the work of a removal moved stays moved though its task never resumes: it counts.
    for (const std::shared_ptr<RemovalTally>& tally : std::exchange(m_openTallies, {})) {
        const RemovalTally::Totals moved = tally->take();
        m_stats->record(moved.bytes, moved.items, moved.apps);
    }
    m_tasks.destroyFrames();
}

void UninstallViewModel::setGrantedAccess(std::vector<veldo::core::ScopedAccessRoot> value)
{
    assign(m_grantedAccess, std::move(value), &UninstallViewModel::grantedAccessChanged);
}

void UninstallViewModel::setApps(std::vector<veldo::core::InstalledApp> value)
{
    assignJudged(m_apps, std::move(value), &UninstallViewModel::appsChanged);
}

void UninstallViewModel::setSearchText(std::string value)
{
    assign(m_searchText, std::move(value), &UninstallViewModel::searchTextChanged);
}

void UninstallViewModel::setSortOrder(veldo::controller::SortOrder value)
{
    assign(m_sortOrder, std::move(value), &UninstallViewModel::sortOrderChanged);
}

void UninstallViewModel::setIncludeSystemApps(bool value)
{
    assign(m_includeSystemApps, std::move(value), &UninstallViewModel::includeSystemAppsChanged);
}

void UninstallViewModel::setIsScanningApps(bool value)
{
    assign(m_isScanningApps, std::move(value), &UninstallViewModel::isScanningAppsChanged);
}

void UninstallViewModel::setAppsScanToken(QUuid value)
{
    assign(m_appsScanToken, std::move(value), &UninstallViewModel::appsScanTokenChanged);
}

void UninstallViewModel::setAppsTask(veldo::controller::TaskHandle value)
{
    assign(m_appsTask, std::move(value), &UninstallViewModel::appsTaskChanged);
}

void UninstallViewModel::setSelectedAppID(std::optional<std::string> value)
{
    assign(m_selectedAppID, std::move(value), &UninstallViewModel::selectedAppIDChanged);
}

void UninstallViewModel::setSelectedAppIDs(veldo::controller::IdSet value)
{
    assign(m_selectedAppIDs, std::move(value), &UninstallViewModel::selectedAppIDsChanged);
}

void UninstallViewModel::setDetailApp(std::optional<veldo::core::InstalledApp> value)
{
    assign(m_detailApp, std::move(value), &UninstallViewModel::detailAppChanged);
}

void UninstallViewModel::setLeftovers(std::vector<veldo::core::LeftoverItem> value)
{
    assignJudged(m_leftovers, std::move(value), &UninstallViewModel::leftoversChanged);
}

void UninstallViewModel::setIsScanningLeftovers(bool value)
{
    assign(m_isScanningLeftovers, std::move(value),
           &UninstallViewModel::isScanningLeftoversChanged);
}

void UninstallViewModel::setSelectedLeftoverIDs(veldo::controller::IdSet value)
{
    assign(m_selectedLeftoverIDs, std::move(value),
           &UninstallViewModel::selectedLeftoverIDsChanged);
}

void UninstallViewModel::setLeftoverScanToken(QUuid value)
{
    assign(m_leftoverScanToken, std::move(value), &UninstallViewModel::leftoverScanTokenChanged);
}

void UninstallViewModel::setLeftoverTask(veldo::controller::TaskHandle value)
{
    assign(m_leftoverTask, std::move(value), &UninstallViewModel::leftoverTaskChanged);
}

void UninstallViewModel::setRunningStatus(veldo::core::RunningAppStatus value)
{
    assign(m_runningStatus, std::move(value), &UninstallViewModel::runningStatusChanged);
}

void UninstallViewModel::setLeftoverCache(veldo::controller::LeftoverCache value)
{
    assign(m_leftoverCache, std::move(value), &UninstallViewModel::leftoverCacheChanged);
}

void UninstallViewModel::setLeftoverCacheGeneration(std::int64_t value)
{
    assign(m_leftoverCacheGeneration, std::move(value),
           &UninstallViewModel::leftoverCacheGenerationChanged);
}

void UninstallViewModel::setBatchResults(std::vector<veldo::controller::BatchAppResult> value)
{
    assignJudged(m_batchResults, std::move(value), &UninstallViewModel::batchResultsChanged);
}

void UninstallViewModel::setIsScanningBatch(bool value)
{
    assign(m_isScanningBatch, std::move(value), &UninstallViewModel::isScanningBatchChanged);
}

void UninstallViewModel::setBatchIncludedIDs(veldo::controller::IdSet value)
{
    assign(m_batchIncludedIDs, std::move(value), &UninstallViewModel::batchIncludedIDsChanged);
}

void UninstallViewModel::setBatchScanToken(QUuid value)
{
    assign(m_batchScanToken, std::move(value), &UninstallViewModel::batchScanTokenChanged);
}

void UninstallViewModel::setBatchTask(veldo::controller::TaskHandle value)
{
    assign(m_batchTask, std::move(value), &UninstallViewModel::batchTaskChanged);
}

void UninstallViewModel::setToolchainGroups(std::vector<veldo::core::ToolchainGroup> value)
{
    assign(m_toolchainGroups, std::move(value), &UninstallViewModel::toolchainGroupsChanged);
}

void UninstallViewModel::setIsScanningDeveloper(bool value)
{
    assign(m_isScanningDeveloper, std::move(value),
           &UninstallViewModel::isScanningDeveloperChanged);
}

void UninstallViewModel::setHasScannedDeveloper(bool value)
{
    assign(m_hasScannedDeveloper, std::move(value),
           &UninstallViewModel::hasScannedDeveloperChanged);
}

void UninstallViewModel::setSelectedToolchainIDs(veldo::controller::IdSet value)
{
    assign(m_selectedToolchainIDs, std::move(value),
           &UninstallViewModel::selectedToolchainIDsChanged);
}

void UninstallViewModel::setDeveloperScanToken(QUuid value)
{
    assign(m_developerScanToken, std::move(value), &UninstallViewModel::developerScanTokenChanged);
}

void UninstallViewModel::setDeveloperTask(veldo::controller::TaskHandle value)
{
    assign(m_developerTask, std::move(value), &UninstallViewModel::developerTaskChanged);
}

void UninstallViewModel::setDeveloperTab(veldo::core::DeveloperTab value)
{
    assign(m_developerTab, std::move(value), &UninstallViewModel::developerTabChanged);
}

void UninstallViewModel::setPackageGroups(std::vector<veldo::core::PackageGroup> value)
{
    assign(m_packageGroups, std::move(value), &UninstallViewModel::packageGroupsChanged);
}

void UninstallViewModel::setIsScanningPackages(bool value)
{
    assign(m_isScanningPackages, std::move(value), &UninstallViewModel::isScanningPackagesChanged);
}

void UninstallViewModel::setHasScannedPackages(bool value)
{
    assign(m_hasScannedPackages, std::move(value), &UninstallViewModel::hasScannedPackagesChanged);
}

void UninstallViewModel::setSelectedPackageIDs(veldo::controller::IdSet value)
{
    assign(m_selectedPackageIDs, std::move(value), &UninstallViewModel::selectedPackageIDsChanged);
}

void UninstallViewModel::setPackageScanToken(QUuid value)
{
    assign(m_packageScanToken, std::move(value), &UninstallViewModel::packageScanTokenChanged);
}

void UninstallViewModel::setPackageTask(veldo::controller::TaskHandle value)
{
    assign(m_packageTask, std::move(value), &UninstallViewModel::packageTaskChanged);
}

void UninstallViewModel::setLastPackageResult(
    std::optional<veldo::scanners::PackageRemover::Result> value)
{
    assignAlways(m_lastPackageResult, std::move(value),
                 &UninstallViewModel::lastPackageResultChanged);
}

void UninstallViewModel::setIsRemoving(bool value)
{
    assign(m_isRemoving, std::move(value), &UninstallViewModel::isRemovingChanged);
}

void UninstallViewModel::setLastOutcome(std::optional<veldo::removal::UninstallOutcome> value)
{
    assignAlways(m_lastOutcome, std::move(value), &UninstallViewModel::lastOutcomeChanged);
}

void UninstallViewModel::setShowResultBanner(bool value)
{
    assign(m_showResultBanner, std::move(value), &UninstallViewModel::showResultBannerChanged);
}

void UninstallViewModel::setIsUndoing(bool value)
{
    assign(m_isUndoing, std::move(value), &UninstallViewModel::isUndoingChanged);
}

void UninstallViewModel::setLastOutcomeSource(veldo::controller::OutcomeSource value)
{
    assign(m_lastOutcomeSource, std::move(value), &UninstallViewModel::lastOutcomeSourceChanged);
}

void UninstallViewModel::setLastRemovedApp(std::optional<veldo::core::InstalledApp> value)
{
    assign(m_lastRemovedApp, std::move(value), &UninstallViewModel::lastRemovedAppChanged);
}

void UninstallViewModel::setLastRemovedAppBundle(bool value)
{
    assign(m_lastRemovedAppBundle, std::move(value),
           &UninstallViewModel::lastRemovedAppBundleChanged);
}

void UninstallViewModel::setLastUndoFailures(std::vector<veldo::controller::UndoFailure> value)
{
    assign(m_lastUndoFailures, std::move(value), &UninstallViewModel::lastUndoFailuresChanged);
}

void UninstallViewModel::setPendingAdminEscalation(
    std::optional<veldo::controller::AdminEscalationRequest> value)
{
    assignAlways(m_pendingAdminEscalation, std::move(value),
                 &UninstallViewModel::pendingAdminEscalationChanged);
}

void UninstallViewModel::setAdminEscalationContinuation(
    veldo::controller::AdminEscalationContinuation value)
{
    assignAlways(m_adminEscalationContinuation, std::move(value),
                 &UninstallViewModel::adminEscalationContinuationChanged);
}

void UninstallViewModel::setPendingAppManagementPrompt(
    std::optional<veldo::controller::AppManagementPrompt> value)
{
    assignAlways(m_pendingAppManagementPrompt, std::move(value),
                 &UninstallViewModel::pendingAppManagementPromptChanged);
}

void UninstallViewModel::setOrphanResult(veldo::scanners::OrphanScanResult value)
{
    assignJudged(m_orphanResult, std::move(value), &UninstallViewModel::orphanResultChanged);
}

void UninstallViewModel::setAppManagementContinuation(
    veldo::controller::AppManagementContinuation value)
{
    assignAlways(m_appManagementContinuation, std::move(value),
                 &UninstallViewModel::appManagementContinuationChanged);
}

void UninstallViewModel::setIsScanningOrphans(bool value)
{
    assign(m_isScanningOrphans, std::move(value), &UninstallViewModel::isScanningOrphansChanged);
}

void UninstallViewModel::setHasScannedOrphans(bool value)
{
    assign(m_hasScannedOrphans, std::move(value), &UninstallViewModel::hasScannedOrphansChanged);
}

void UninstallViewModel::setSelectedOrphanIDs(veldo::controller::IdSet value)
{
    assign(m_selectedOrphanIDs, std::move(value), &UninstallViewModel::selectedOrphanIDsChanged);
}

void UninstallViewModel::setOrphanScanToken(QUuid value)
{
    assign(m_orphanScanToken, std::move(value), &UninstallViewModel::orphanScanTokenChanged);
}

void UninstallViewModel::setOrphanTask(veldo::controller::TaskHandle value)
{
    assign(m_orphanTask, std::move(value), &UninstallViewModel::orphanTaskChanged);
}

void UninstallViewModel::setTrashNotices(std::vector<veldo::controller::TrashedAppNotice> value)
{
    assign(m_trashNotices, std::move(value), &UninstallViewModel::trashNoticesChanged);
}

void UninstallViewModel::setCanReadTrash(bool value)
{
    assign(m_canReadTrash, std::move(value), &UninstallViewModel::canReadTrashChanged);
}

void UninstallViewModel::setDetailAppLocation(veldo::controller::DetailAppLocation value)
{
    assign(m_detailAppLocation, std::move(value), &UninstallViewModel::detailAppLocationChanged);
}

void UninstallViewModel::setCaskIndex(veldo::leftovers::CaskIndex value)
{
    assign(m_caskIndex, std::move(value), &UninstallViewModel::caskIndexChanged);
}

void UninstallViewModel::setCaskFailure(std::optional<veldo::controller::CaskFailure> value)
{
    assign(m_caskFailure, std::move(value), &UninstallViewModel::caskFailureChanged);
}

void UninstallViewModel::setSettingsTab(veldo::controller::SettingsTab value)
{
    assign(m_settingsTab, std::move(value), &UninstallViewModel::settingsTabChanged);
}

void UninstallViewModel::setDropNotice(std::optional<std::string> value)
{
    assign(m_dropNotice, std::move(value), &UninstallViewModel::dropNoticeChanged);
}

void UninstallViewModel::setActiveAlert(std::optional<veldo::controller::NoticeAlert> value)
{
    assignAlways(m_activeAlert, std::move(value), &UninstallViewModel::activeAlertChanged);
}

void UninstallViewModel::setOfferCleanupForTrashedApps(bool value)
{
    assign(m_offerCleanupForTrashedApps, std::move(value),
           &UninstallViewModel::offerCleanupForTrashedAppsChanged);
    // Stored on every write, an unchanged value too. A failed write keeps the value for this run.
    if (const Result<void> written = m_defaults->setBool(kOfferCleanupForTrashedAppsKey, value);
        !written)
        core::CleanupSettings::logUnsaved(kOfferCleanupForTrashedAppsKey, written.error());
    if (!value)
        setTrashNotices({});
}

Task<bool> UninstallViewModel::requestAdminConfirmation(std::vector<core::LeftoverItem> items,
                                                        bool usesHelper)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    resolveAdminEscalation(false);
    auto ask = [this, &items, usesHelper](AdminEscalationContinuation continuation) {
        setAdminEscalationContinuation(std::move(continuation));
        setPendingAdminEscalation(
            AdminEscalationRequest{QUuid::createUuid(), std::move(items), usesHelper});
    };
    const bool answer = co_await waitForAnswer<bool>(std::move(ask));
    co_return answer;
}

Task<AppManagementChoice>
UninstallViewModel::requestAppManagementDecision(std::vector<core::LeftoverItem> items,
                                                 bool usesHelper)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    resolveAppManagementPrompt(AppManagementChoice::cancel);
    auto ask = [this, &items, usesHelper](AppManagementContinuation continuation) {
        setAppManagementContinuation(std::move(continuation));
        setPendingAppManagementPrompt(
            AppManagementPrompt{QUuid::createUuid(), std::move(items), usesHelper});
    };
    const AppManagementChoice choice = co_await waitForAnswer<AppManagementChoice>(std::move(ask));
    co_return choice;
}

void UninstallViewModel::resolveAdminEscalation(bool answer)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    setPendingAdminEscalation(std::nullopt);
    AdminEscalationContinuation continuation = m_adminEscalationContinuation;
    setAdminEscalationContinuation(nullptr);
    if (continuation)
        continuation->resume(answer);
}

void UninstallViewModel::resolveAppManagementPrompt(AppManagementChoice choice)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    setPendingAppManagementPrompt(std::nullopt);
    AppManagementContinuation continuation = m_appManagementContinuation;
    setAppManagementContinuation(nullptr);
    if (continuation)
        continuation->resume(choice);
}

} // namespace veldo::controller
