// The controller's state: construction, and the notify rule of every tracked property.
#include <functional>
#include <map>
#include <set>

#include <QMetaMethod>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/MainBundle.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::controller {
namespace {

using testsupport::ControllerFixture;
using namespace veldo::testsupport::literals;

class ControllerState : public ControllerFixture
{
};

// Another value of the property's type, for each type the controller's properties use.
class OtherValues
{
public:
    explicit OtherValues(TaskScope& scope)
    {
        add<bool>([](bool v) { return !v; });
        add<std::int64_t>([](std::int64_t v) { return v + 1; });
        add<std::string>([](const std::string& v) { return v + "x"; });
        add<QUuid>([](const QUuid&) { return QUuid::createUuid(); });
        add<TaskHandle>([](const TaskHandle&) { return std::make_shared<TaskState>(); });
        add<std::optional<std::string>>([](const std::optional<std::string>& v) {
            return v ? std::optional<std::string>() : std::optional<std::string>("/A.app");
        });
        add<IdSet>([](IdSet v) {
            v.insert("/Applications/New.app");
            return v;
        });
        add<SortOrder>([](SortOrder v) {
            return v == SortOrder::name ? SortOrder::lastUsed : SortOrder::name;
        });
        add<SettingsTab>([](SettingsTab v) {
            return v == SettingsTab::general ? SettingsTab::updates : SettingsTab::general;
        });
        add<OutcomeSource>([](OutcomeSource v) {
            return v == OutcomeSource::app ? OutcomeSource::batch : OutcomeSource::app;
        });
        add<DetailAppLocation>([](DetailAppLocation v) {
            return v == DetailAppLocation::installed ? DetailAppLocation::removed
                                                     : DetailAppLocation::installed;
        });
        add<core::DeveloperTab>([](core::DeveloperTab v) {
            return v == core::DeveloperTab::map ? core::DeveloperTab::packages
                                                : core::DeveloperTab::map;
        });
        add<core::RunningAppStatus>([](core::RunningAppStatus v) {
            v.helperNames.push_back("Helper");
            return v;
        });
        addAppended<core::ScopedAccessRoot>();
        addAppended<core::InstalledApp>();
        addAppended<core::LeftoverItem>();
        addAppended<BatchAppResult>();
        addAppended<core::ToolchainGroup>();
        addAppended<core::PackageGroup>();
        addAppended<UndoFailure>();
        addAppended<TrashedAppNotice>([](TrashedAppNotice n) {
            n.id = "new";
            return n;
        });
        addToggled<core::InstalledApp>();
        addToggled<scanners::PackageRemover::Result>();
        addToggled<removal::UninstallOutcome>();
        addToggled<AdminEscalationRequest>();
        addToggled<AppManagementPrompt>();
        addToggled<CaskFailure>();
        add<scanners::OrphanScanResult>([](scanners::OrphanScanResult v) {
            v.wasCancelled = !v.wasCancelled;
            return v;
        });
        addToggled<NoticeAlert>();
        add<LeftoverCache>([](LeftoverCache v) {
            v["/Applications/New.app"].push_back({});
            return v;
        });
        add<leftovers::CaskIndex>([](leftovers::CaskIndex v) {
            v["New.app"].token = "new";
            return v;
        });
        add<AdminEscalationContinuation>([&scope](const AdminEscalationContinuation&) {
            return std::make_shared<PromptContinuation<bool>>(
                scope, std::coroutine_handle<>(), std::make_shared<std::optional<bool>>());
        });
        add<AppManagementContinuation>([&scope](const AppManagementContinuation&) {
            return std::make_shared<PromptContinuation<AppManagementChoice>>(
                scope, std::coroutine_handle<>(),
                std::make_shared<std::optional<AppManagementChoice>>());
        });
    }

    // None when the type has no entry: the test then fails for that property.
    std::optional<QVariant> other(const QVariant& current) const
    {
        const auto found = m_makers.find(current.metaType().id());
        if (found == m_makers.end())
            return std::nullopt;
        return found->second(current);
    }

private:
    template <typename T, typename Fn>
    void add(Fn fn)
    {
        m_makers[QMetaType::fromType<T>().id()] = [fn](const QVariant& v) {
            return QVariant::fromValue<T>(fn(v.value<T>()));
        };
    }
    template <typename Element>
    void addAppended(std::function<Element(Element)> change = [](Element e) { return e; })
    {
        add<std::vector<Element>>([change](std::vector<Element> v) {
            v.push_back(change(Element{}));
            return v;
        });
    }
    template <typename T>
    void addToggled()
    {
        add<std::optional<T>>([](const std::optional<T>& v) {
            return v ? std::optional<T>() : std::optional<T>(T{});
        });
    }

    std::map<int, std::function<QVariant(const QVariant&)>> m_makers;
};

TEST_F(ControllerState, EveryPropertyNotifiesOnlyOnAChangeButThoseWithoutEquality)
{
    auto controller = makeController();
    const std::set<std::string> alwaysNotify = {"lastOutcome",
                                                "lastPackageResult",
                                                "pendingAdminEscalation",
                                                "pendingAppManagementPrompt",
                                                "activeAlert",
                                                "adminEscalationContinuation",
                                                "appManagementContinuation"};
    OtherValues others(controller->taskScope());
    const QMetaObject* meta = controller->metaObject();
    int walked = 0;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const std::string name = property.name();
        SCOPED_TRACE(name);
        ASSERT_TRUE(property.hasNotifySignal());
        EXPECT_EQ(property.notifySignal().name().toStdString(), name + "Changed");
        const bool always = alwaysNotify.contains(name);
        QSignalSpy spy(controller.get(), property.notifySignal());

        const QVariant current = property.read(controller.get());
        ASSERT_TRUE(property.write(controller.get(), current));
        EXPECT_EQ(spy.count(), always ? 1 : 0);

        const std::optional<QVariant> changed = others.other(current);
        ASSERT_TRUE(changed) << "no other value for " << current.metaType().name();
        spy.clear();
        ASSERT_TRUE(property.write(controller.get(), *changed));
        EXPECT_EQ(spy.count(), 1);
        spy.clear();
        ASSERT_TRUE(property.write(controller.get(), property.read(controller.get())));
        EXPECT_EQ(spy.count(), always ? 1 : 0);
        ++walked;
    }
    EXPECT_EQ(walked, 65);
}

TEST_F(ControllerState, SetsAreComparedByMembershipAndNoticesByTheirOwnRule)
{
    auto controller = makeController();
    IdSet ids;
    for (const char* id : {"/Applications/A.app", "/Applications/B.app", "/Applications/C.app",
                           "/Applications/D.app", "/Applications/E.app"})
        ids.insert(id);
    controller->setSelectedAppIDs(ids);
    IdSet reversed;
    for (const char* id : {"/Applications/E.app", "/Applications/D.app", "/Applications/C.app",
                           "/Applications/B.app", "/Applications/A.app"})
        reversed.insert(id);
    QSignalSpy selection(controller.get(), &UninstallViewModel::selectedAppIDsChanged);
    controller->setSelectedAppIDs(reversed);
    EXPECT_EQ(selection.count(), 0);

    TrashedAppNotice first;
    first.id = "id:com.example.a";
    first.app = app("/Users/u/.Trash/A.app", "A");
    first.itemCount = 3;
    first.totalBytes = 1024;
    controller->setTrashNotices({first});
    QSignalSpy notices(controller.get(), &UninstallViewModel::trashNoticesChanged);
    TrashedAppNotice sameByRule = first;
    sameByRule.app = app("/Users/u/.Trash/Other.app", "Other");
    sameByRule.bundle.name = "Other";
    controller->setTrashNotices({sameByRule});
    EXPECT_EQ(notices.count(), 0);
    sameByRule.totalBytes = 2048;
    controller->setTrashNotices({sameByRule});
    EXPECT_EQ(notices.count(), 1);
}

TEST_F(ControllerState, ConstructionSetsInitialValuesAndCallsNoService)
{
    int calls = 0;
    ControllerServices services;
    services.runningStatus = [&](const core::InstalledApp&) {
        ++calls;
        return core::RunningAppStatus{};
    };
    services.fileExists = [&](const platform::MacPath&) {
        ++calls;
        return true;
    };
    services.removalRefusal = [&](const platform::MacPath&,
                                  const common::RemovalSafety::PreparedContext&) {
        ++calls;
        return std::optional<common::RemovalSafety::Refusal>();
    };
    auto controller = makeController(services);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(controller->taskScope().frameCount(), 0U);
    EXPECT_EQ(controller->scanPool().activeThreadCount(), 0);
    EXPECT_EQ(controller->toolPool().activeThreadCount(), 0);

    const platform::MacPath home = m_mac.home();
    const std::vector<core::ScopedAccessRoot> roots = {
        {core::AccessRootKind::applications, "/Applications"_mac},
        {core::AccessRootKind::userApplications, home.appendingPathComponent("Applications")},
        {core::AccessRootKind::userLibrary, home.appendingPathComponent("Library")},
        {core::AccessRootKind::systemLibrary, "/Library"_mac},
    };
    EXPECT_EQ(controller->grantedAccess(), roots);
    EXPECT_TRUE(controller->apps().empty());
    EXPECT_TRUE(controller->selectedAppIDs().empty());
    EXPECT_FALSE(controller->selectedAppID());
    EXPECT_FALSE(controller->detailApp());
    EXPECT_TRUE(controller->leftovers().empty());
    EXPECT_TRUE(controller->leftoverCache().empty());
    EXPECT_TRUE(controller->batchResults().empty());
    EXPECT_TRUE(controller->toolchainGroups().empty());
    EXPECT_TRUE(controller->packageGroups().empty());
    EXPECT_TRUE(controller->trashNotices().empty());
    EXPECT_TRUE(controller->caskIndex().empty());
    EXPECT_FALSE(controller->appsTask());
    EXPECT_FALSE(controller->lastOutcome());
    EXPECT_FALSE(controller->pendingAdminEscalation());
    EXPECT_FALSE(controller->adminEscalationContinuation());
    EXPECT_FALSE(controller->activeAlert());
    EXPECT_EQ(controller->runningStatus(), core::RunningAppStatus::notRunning);
    EXPECT_EQ(controller->sortOrder(), SortOrder::name);
    EXPECT_EQ(controller->developerTab(), core::DeveloperTab::footprint);
    EXPECT_EQ(controller->detailAppLocation(), DetailAppLocation::installed);
    EXPECT_EQ(controller->settingsTab(), SettingsTab::general);
    EXPECT_TRUE(controller->canReadTrash());
    const std::set<QUuid> tokens = {
        controller->appsScanToken(),    controller->leftoverScanToken(),
        controller->batchScanToken(),   controller->developerScanToken(),
        controller->packageScanToken(), controller->orphanScanToken()};
    EXPECT_EQ(tokens.size(), 6U);

    EXPECT_EQ(controller->trashNoticeGate().expectationLifetime, std::chrono::seconds(180));
    EXPECT_EQ(controller->trashNoticeGate().repeatInterval, std::chrono::seconds(600));
    EXPECT_EQ(controller->trashNoticeGate().ownBundleID, platform::mainBundleIdentifier());
    EXPECT_TRUE(controller->trashNoticeGate().offered.empty());
    EXPECT_EQ(controller->settings(), m_settings);
    EXPECT_EQ(controller->defaults(), m_defaults);
    // The access store keeps the standard defaults, whatever the controller was given.
    EXPECT_EQ(controller->accessStore().defaults(), platform::UserDefaults::standard());
    EXPECT_NE(controller->accessStore().defaults(), m_defaults);
    EXPECT_EQ(controller->accessStore().defaultsKey(), "Veldo.SecurityScopedBookmarks.v1");
    EXPECT_TRUE(controller->accessStore().activeURLs().empty());
}

TEST_F(ControllerState, TheSharedControllerIsMadeOnceAndKept)
{
    UninstallViewModel& shared = UninstallViewModel::shared();
    EXPECT_EQ(&UninstallViewModel::shared(), &shared);
    EXPECT_EQ(shared.taskScope().frameCount(), 0U);
    EXPECT_EQ(shared.grantedAccess().size(), 4U);
}

TEST_F(ControllerState, OfferCleanupStartsFromTheStoredBooleanOnly)
{
    const std::string_view key = UninstallViewModel::kOfferCleanupForTrashedAppsKey;
    struct Case
    {
        const char* what;
        std::optional<platform::PlistValue> stored;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"absent", std::nullopt, true},
        {"false", platform::PlistValue(false), false},
        {"true", platform::PlistValue(true), true},
        {"a string", platform::PlistValue(std::string("NO")), true},
        {"an integer", platform::PlistValue(std::int64_t{0}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.stored)
            ASSERT_TRUE(m_defaults->setObject(key, *c.stored).has_value());
        else
            ASSERT_TRUE(m_defaults->removeObject(key).has_value());
        EXPECT_EQ(makeController()->offerCleanupForTrashedApps(), c.expected);
    }
}

TEST_F(ControllerState, OfferCleanupIsStoredOnEveryWriteAndFalseClearsTheNotices)
{
    const std::string_view key = UninstallViewModel::kOfferCleanupForTrashedAppsKey;
    ASSERT_TRUE(m_defaults->setObject(key, platform::PlistValue(std::string("junk"))).has_value());
    auto controller = makeController();
    TrashedAppNotice notice;
    notice.id = "id:com.example.a";
    controller->setTrashNotices({notice});

    QSignalSpy offer(controller.get(), &UninstallViewModel::offerCleanupForTrashedAppsChanged);
    controller->setOfferCleanupForTrashedApps(true); // unchanged, stored all the same
    EXPECT_EQ(offer.count(), 0);
    EXPECT_EQ(m_defaults->object(key), platform::PlistValue(true));
    EXPECT_EQ(controller->trashNotices().size(), 1U);

    controller->setOfferCleanupForTrashedApps(false);
    EXPECT_EQ(offer.count(), 1);
    EXPECT_EQ(m_defaults->object(key), platform::PlistValue(false));
    EXPECT_TRUE(controller->trashNotices().empty());
}

#ifndef NDEBUG
// The controller belongs to the GUI thread: a getter, a setter or an operation called from a
// pool thread aborts a debug build instead of racing with it.
TEST_F(ControllerState, ACallFromAPoolThreadAbortsDebugBuilds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto controller = makeController();
    EXPECT_FALSE(controller->isRemoving()); // on this thread: fine
    const auto offThread = [&](auto call) {
        QtConcurrent::run(&controller->scanPool(), call).waitForFinished();
    };
    EXPECT_DEATH(offThread([&] { (void)controller->canUndo(); }),
                 "UninstallViewModel used off the thread");
    EXPECT_DEATH(offThread([&] { controller->setSearchText("quill"); }),
                 "UninstallViewModel used off the thread");
    EXPECT_DEATH(offThread([&] { controller->scanApps().detach(); }),
                 "UninstallViewModel used off the thread");
}
#endif

TEST_F(ControllerState, AFailedWriteOfTheOfferIsLoggedAndTheValueHolds)
{
    m_mac.write(platform::MacPath("/Users/Shared/blocked"), "a file where a folder should be");
    auto controller = std::make_unique<UninstallViewModel>(
        m_settings, m_stats,
        std::make_shared<platform::UserDefaults>(
            platform::MacPath("/Users/Shared/blocked/d.plist")));
    ::testing::internal::CaptureStderr();
    controller->setOfferCleanupForTrashedApps(false);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "veldo: [settings] The setting Veldo.OfferCleanupForTrashedApps couldn’t be saved; "
              "it holds until Veldo quits (ENOTDIR)\n");
    EXPECT_FALSE(controller->offerCleanupForTrashedApps());
}

} // namespace
} // namespace veldo::controller
