// App-library events read from a scripted watcher stream: the app-list refresh, running states,
// Trash access and the Trash notices.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>

#include <QSignalSpy>

#include "app/core/TrashNoticeGate.h"
#include "tests/controller/RemovalFixture.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInBrew.h"

namespace veldo::controller {
namespace {

using core::AppLibraryWatcher;
using core::InstalledApp;
using core::LeftoverCategory;
using core::LeftoverItem;
using core::WatchedAppBundle;
using testsupport::ControllerFixture;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;

using Stream = core::EventStream<AppLibraryWatcher::Event>;

class Library : public ControllerFixture
{
public:
    std::unique_ptr<UninstallViewModel> scriptedController()
    {
        ControllerServices services;
        services.durations.appsRefreshDelay = 200ms;
        services.durations.appsRefreshRecheck = 40ms;
        services.libraryWatcher = [this](std::chrono::milliseconds) {
            ++m_watchersMade;
            return LibraryWatcherSession{nullptr, m_stream};
        };
        services.appScan = [this](const std::vector<core::ScopedAccessRoot>&, bool,
                                  std::stop_token) -> Result<std::vector<InstalledApp>> {
            ++m_appScans;
            std::lock_guard lock(m_mutex);
            return m_installed;
        };
        services.leftoverScan = [this](const InstalledApp& app,
                                       const std::vector<core::ScopedAccessRoot>&,
                                       std::stop_token stop) -> Result<std::vector<LeftoverItem>> {
            std::unique_lock lock(m_mutex);
            m_scanned.push_back(app.id());
            m_scanChanged.notify_all();
            m_scanChanged.wait(lock, stop, [&] { return app.name != m_heldName; });
            const auto found = m_leftovers.find(app.name);
            return found == m_leftovers.end() ? std::vector<LeftoverItem>{} : found->second;
        };
        services.runningStatus = [this](const InstalledApp& app) {
            core::RunningAppStatus status;
            std::lock_guard lock(m_mutex);
            status.isRunning = m_running.contains(app.id());
            return status;
        };
        services.removalRefusal = [](const platform::MacPath& url,
                                     const common::RemovalSafety::PreparedContext&)
            -> std::optional<common::RemovalSafety::Refusal> {
            if (url.path().find("refused") == std::string::npos)
                return std::nullopt;
            return common::RemovalSafety::Refusal{};
        };
        services.applicationURLs = [this](const std::string& bundleID) {
            std::lock_guard lock(m_mutex);
            m_registryAsked.push_back(bundleID);
            const auto found = m_registry.find(bundleID);
            return found == m_registry.end() ? std::vector<platform::MacPath>{} : found->second;
        };
        services.spotlightCopies = [this](const std::string& bundleID, std::chrono::milliseconds,
                                          std::stop_token) {
            std::lock_guard lock(m_mutex);
            m_searched.push_back(bundleID);
            const auto found = m_spotlight.find(bundleID);
            return found == m_spotlight.end() ? std::vector<platform::MacPath>{} : found->second;
        };
        auto vm = makeController(std::move(services));
        vm->startLibraryWatcher();
        return vm;
    }

    // Runs the event loop for `duration`.
    static void runFor(std::chrono::milliseconds duration)
    {
        const auto end = std::chrono::steady_clock::now() + duration;
        while (std::chrono::steady_clock::now() < end)
            processEvents();
    }

    static WatchedAppBundle bundle(std::optional<std::string> bundleID, std::string name,
                                   std::optional<platform::MacPath> trashURL,
                                   std::optional<platform::MacPath> originalURL)
    {
        return WatchedAppBundle{std::move(trashURL), std::move(originalURL), std::move(bundleID),
                                std::move(name), std::nullopt};
    }

    // A bundle dragged from /Applications into the home's Trash.
    WatchedAppBundle trashed(const std::string& name, const std::string& bundleID)
    {
        return bundle(bundleID, name,
                      m_mac.home().appendingPathComponent(".Trash/" + name + ".app"),
                      platform::MacPath("/Applications/" + name + ".app"));
    }

    // Leftovers of `name`: its bundle, two files and one the safety policy refuses.
    void giveLeftovers(const std::string& name)
    {
        std::lock_guard lock(m_mutex);
        m_leftovers[name] = {
            item(m_mac.home().path() + "/.Trash/" + name + ".app", 500,
                 LeftoverCategory::application),
            item("/Users/me/Library/Application Support/" + name, 100),
            item("/Users/me/Library/Caches/" + name, 20, LeftoverCategory::caches),
            item("/Users/me/Library/refused/" + name, 7),
        };
    }

    std::shared_ptr<Stream> m_stream = std::make_shared<Stream>();
    std::atomic<int> m_watchersMade = 0;
    std::atomic<int> m_appScans = 0;
    std::mutex m_mutex;
    std::condition_variable_any m_scanChanged;
    std::string m_heldName; // the leftover scan of this app waits until it changes
    std::vector<InstalledApp> m_installed;
    std::map<std::string, std::vector<LeftoverItem>> m_leftovers;
    std::vector<std::string> m_scanned;
    std::set<std::string> m_running;
    std::map<std::string, std::vector<platform::MacPath>> m_registry;
    std::map<std::string, std::vector<platform::MacPath>> m_spotlight;
    std::vector<std::string> m_registryAsked;
    std::vector<std::string> m_searched;
};

TEST_F(Library, StartingTwiceMakesOneWatcherAndTrashAccessIsMirrored)
{
    auto vm = scriptedController();
    vm->startLibraryWatcher();
    EXPECT_EQ(m_watchersMade, 1);

    QSignalSpy changes(vm.get(), &UninstallViewModel::canReadTrashChanged);
    m_stream->yield(AppLibraryWatcher::TrashAccessChanged{false});
    ASSERT_TRUE(waitFor([&] { return !vm->canReadTrash(); }));
    m_stream->yield(AppLibraryWatcher::TrashAccessChanged{false});
    m_stream->yield(AppLibraryWatcher::TrashAccessChanged{true});
    ASSERT_TRUE(waitFor([&] { return vm->canReadTrash(); }));
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(Library, ABurstOfChangesGivesOneScanAndNoneWhileRemoving)
{
    auto vm = scriptedController();
    for (int i = 0; i < 5; ++i) {
        m_stream->yield(AppLibraryWatcher::AppsChanged{});
        runFor(20ms);
    }
    ASSERT_TRUE(waitFor([&] { return m_appScans == 1; }));
    runFor(300ms);
    EXPECT_EQ(m_appScans, 1);

    vm->setIsRemoving(true);
    m_stream->yield(AppLibraryWatcher::AppsChanged{});
    runFor(400ms);
    EXPECT_EQ(m_appScans, 1);
    vm->setIsRemoving(false);
    ASSERT_TRUE(waitFor([&] { return m_appScans == 2; }));
    runFor(200ms);
    EXPECT_EQ(m_appScans, 2);
}

TEST_F(Library, TheRefreshReconcilesTheDetailAppAfterTheScan)
{
    auto vm = scriptedController();
    const InstalledApp gone = app("/Applications/Gone.app", "Gone");
    vm->setApps({gone});
    vm->setSelectedAppID(gone.id());
    vm->setSelectedAppIDs({gone.id()});
    vm->setDetailApp(gone);
    m_stream->yield(AppLibraryWatcher::AppsChanged{});
    ASSERT_TRUE(waitFor([&] { return vm->detailAppLocation() == DetailAppLocation::removed; }));
    EXPECT_EQ(m_appScans, 1);
    EXPECT_EQ(vm->selectedAppID(), gone.id());
}

TEST_F(Library, NoRescanWithoutAnApplicationsFolder)
{
    auto vm = scriptedController();
    std::vector<core::ScopedAccessRoot> roots = vm->grantedAccess();
    std::erase_if(roots, [](const core::ScopedAccessRoot& root) {
        return root.kind == core::AccessRootKind::applications ||
               root.kind == core::AccessRootKind::userApplications;
    });
    vm->setGrantedAccess(roots);
    m_stream->yield(AppLibraryWatcher::AppsChanged{});
    runFor(400ms);
    EXPECT_EQ(m_appScans, 0);
}

TEST_F(Library, RunningAppsChangedUpdatesTheDetailAndTheBatchOnce)
{
    auto vm = scriptedController();
    const InstalledApp a = app("/Applications/A.app", "A");
    const InstalledApp b = app("/Applications/B.app", "B");
    vm->setApps({a, b});
    vm->setSelectedAppID(a.id());
    vm->setSelectedAppIDs({a.id()});
    vm->setBatchResults({BatchAppResult{a, {}, {}, false, false, std::nullopt},
                         BatchAppResult{b, {}, {}, false, false, std::nullopt}});
    QSignalSpy batchChanges(vm.get(), &UninstallViewModel::batchResultsChanged);

    {
        std::lock_guard lock(m_mutex);
        m_running = {a.id(), b.id()};
    }
    m_stream->yield(AppLibraryWatcher::RunningAppsChanged{});
    ASSERT_TRUE(waitFor([&] { return vm->runningStatus().isRunning; }));
    EXPECT_EQ(batchChanges.count(), 1);
    EXPECT_TRUE(vm->batchResults()[0].isRunning);
    EXPECT_TRUE(vm->batchResults()[1].isRunning);

    // Nothing changed: no notification.
    m_stream->yield(AppLibraryWatcher::RunningAppsChanged{});
    runFor(50ms);
    EXPECT_EQ(batchChanges.count(), 1);
}

TEST_F(Library, AStreamThatEndsStopsTheReaderQuietly)
{
    auto vm = scriptedController();
    m_stream->yield(AppLibraryWatcher::TrashAccessChanged{false});
    m_stream->finish();
    ASSERT_TRUE(waitFor([&] { return !vm->canReadTrash(); }));
    vm->startLibraryWatcher(); // still started once
    EXPECT_EQ(m_watchersMade, 1);
    vm->shutdown();
    EXPECT_TRUE(m_stream->ended());
}

TEST_F(Library, ShutdownStopsTheReaderAndEndsTheStream)
{
    auto vm = scriptedController();
    m_stream->yield(AppLibraryWatcher::AppsChanged{});
    vm->shutdown();
    EXPECT_TRUE(m_stream->ended());
    // What was posted before the stop is dropped.
    runFor(300ms);
    EXPECT_EQ(m_appScans, 0);
    vm->startLibraryWatcher();
    EXPECT_EQ(m_watchersMade, 1);
}

TEST_F(Library, ATrashedAppGetsANoticeWithItsLeftoversCountAndRemovableSize)
{
    auto vm = scriptedController();
    giveLeftovers("Foo");
    m_stream->yield(AppLibraryWatcher::AppMovedToTrash{trashed("Foo", "com.Example.Foo")});
    ASSERT_TRUE(waitFor([&] { return vm->trashNotices().size() == 1; }));
    const TrashedAppNotice& notice = vm->trashNotices()[0];
    EXPECT_EQ(notice.id, core::TrashNoticeGate::offerKey(trashed("Foo", "com.Example.Foo")));
    EXPECT_EQ(notice.itemCount, 3);
    EXPECT_EQ(notice.totalBytes, 120);
    EXPECT_EQ(notice.app.name, "Foo");
    EXPECT_EQ(m_registryAsked, std::vector<std::string>{"com.Example.Foo"});
    EXPECT_TRUE(m_searched.empty()); // the bundle lies in the Trash: no search
}

TEST_F(Library, NoNoticeInTheseCases)
{
    const struct
    {
        const char* name;
        std::function<void(Library&, UninstallViewModel&)> setUp;
        WatchedAppBundle (*event)(Library&);
    } cases[] = {
        {"another listed copy with the id in another case",
         [](Library& t, UninstallViewModel& vm) {
             t.m_mac.makeApp("/Applications/Copy/Foo.app"_mac,
                             platform::PlistValue::Dictionary{{"CFBundleIdentifier", "COM.FOO"}});
             vm.setApps({app("/Applications/Copy/Foo.app", "Foo", "COM.FOO")});
         },
         [](Library& t) { return t.trashed("Foo", "com.foo"); }},
        {"a copy the registry lists",
         [](Library& t, UninstallViewModel&) {
             t.m_mac.makeApp("/Applications/Other/Foo.app"_mac, platform::PlistValue::Dictionary{});
             t.m_registry["com.foo"] = {"/Applications/Other/Foo.app"_mac};
         },
         [](Library& t) { return t.trashed("Foo", "com.foo"); }},
        {"a copy the search finds for a vanished bundle",
         [](Library& t, UninstallViewModel&) {
             t.m_mac.makeApp("/Applications/Other/Foo.app"_mac, platform::PlistValue::Dictionary{});
             t.m_spotlight["com.foo"] = {"/Applications/Other/Foo.app"_mac};
         },
         [](Library&) {
             return bundle("com.foo", "Foo", std::nullopt, "/Applications/Foo.app"_mac);
         }},
        {"the setting is off",
         [](Library&, UninstallViewModel& vm) { vm.setOfferCleanupForTrashedApps(false); },
         [](Library& t) { return t.trashed("Foo", "com.foo"); }},
        {"only the bundle is found",
         [](Library& t, UninstallViewModel&) {
             t.m_leftovers["Foo"] = {item(t.m_mac.home().path() + "/.Trash/Foo.app", 500,
                                          LeftoverCategory::application)};
         },
         [](Library& t) { return t.trashed("Foo", "com.foo"); }},
        {"no bundle identifier", [](Library&, UninstallViewModel&) {},
         [](Library& t) {
             return bundle(std::nullopt, "Foo", t.trashed("Foo", "x").trashURL, std::nullopt);
         }},
        {"no identifier and no name", [](Library&, UninstallViewModel&) {},
         [](Library&) { return bundle(std::nullopt, "", std::nullopt, std::nullopt); }},
        {"Veldo moves it itself",
         [](Library& t, UninstallViewModel& vm) {
             vm.trashNoticeGate().expect({t.trashed("Foo", "com.foo").originalURL.value()},
                                         {"com.foo"}, std::chrono::system_clock::now());
         },
         [](Library& t) { return t.trashed("Foo", "com.foo"); }},
    };
    for (const auto& c : cases) {
        m_stream = std::make_shared<Stream>();
        m_leftovers.clear();
        m_registry.clear();
        m_spotlight.clear();
        giveLeftovers("Foo");
        auto vm = scriptedController();
        c.setUp(*this, *vm);
        m_stream->yield(AppLibraryWatcher::AppMovedToTrash{c.event(*this)});
        m_stream->yield(AppLibraryWatcher::TrashAccessChanged{false}); // a marker behind it
        ASSERT_TRUE(waitFor([&] { return !vm->canReadTrash(); })) << c.name;
        runFor(100ms);
        EXPECT_TRUE(vm->trashNotices().empty()) << c.name;
    }
}

TEST_F(Library, TurningTheSettingOffDropsNoticesAndOnesBeingPrepared)
{
    auto vm = scriptedController();
    giveLeftovers("Foo");
    giveLeftovers("Bar");
    m_stream->yield(AppLibraryWatcher::AppMovedToTrash{trashed("Foo", "com.foo")});
    m_stream->yield(AppLibraryWatcher::AppRemoved{trashed("Bar", "com.bar")});
    ASSERT_TRUE(waitFor([&] { return vm->trashNotices().size() == 2; }));
    QSignalSpy changes(vm.get(), &UninstallViewModel::trashNoticesChanged);
    vm->setOfferCleanupForTrashedApps(false);
    EXPECT_TRUE(vm->trashNotices().empty());
    EXPECT_EQ(changes.count(), 1);

    // A notice whose scan is still running when the setting goes off is dropped.
    vm->setOfferCleanupForTrashedApps(true);
    giveLeftovers("Baz");
    {
        std::lock_guard lock(m_mutex);
        m_heldName = "Baz";
    }
    m_stream->yield(AppLibraryWatcher::AppMovedToTrash{trashed("Baz", "com.baz")});
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(m_mutex);
        return std::ranges::count(m_scanned, "/Applications/Baz.app") == 1;
    }));
    vm->setOfferCleanupForTrashedApps(false);
    {
        std::lock_guard lock(m_mutex);
        m_heldName.clear();
        m_scanChanged.notify_all();
    }
    runFor(100ms);
    EXPECT_TRUE(vm->trashNotices().empty());
}

TEST_F(Library, ALaterNoticeForTheSameAppReplacesTheFirstAtTheEnd)
{
    auto vm = scriptedController();
    giveLeftovers("Foo");
    giveLeftovers("Bar");
    m_stream->yield(AppLibraryWatcher::AppMovedToTrash{trashed("Foo", "com.foo")});
    ASSERT_TRUE(waitFor([&] { return vm->trashNotices().size() == 1; }));
    m_stream->yield(AppLibraryWatcher::AppMovedToTrash{trashed("Bar", "com.bar")});
    ASSERT_TRUE(waitFor([&] { return vm->trashNotices().size() == 2; }));

    // The gate's repeat interval has passed: the same app is offered again.
    vm->trashNoticeGate().offered.clear();
    {
        std::lock_guard lock(m_mutex);
        m_leftovers["Foo"].pop_back();
        m_leftovers["Foo"].pop_back();
    }
    m_stream->yield(AppLibraryWatcher::AppMovedToTrash{trashed("Foo", "com.foo")});
    ASSERT_TRUE(waitFor([&] { return vm->trashNotices().back().itemCount == 1; }));
    ASSERT_EQ(vm->trashNotices().size(), 2u);
    EXPECT_EQ(vm->trashNotices()[0].app.name, "Bar");
    EXPECT_EQ(vm->trashNotices()[1].app.name, "Foo");
    EXPECT_EQ(vm->trashNotices()[1].totalBytes, 100);
}

TEST_F(Library, DismissingChangesNothingElseAndReviewingShowsTheApp)
{
    auto vm = scriptedController();
    const InstalledApp shown = app("/Applications/Shown.app", "Shown");
    vm->setApps({shown});
    vm->setSelectedAppID(shown.id());
    vm->setSelectedAppIDs({shown.id()});
    vm->setSelectedLeftoverIDs({"/x"});
    giveLeftovers("Foo");
    giveLeftovers("Gone");
    m_stream->yield(AppLibraryWatcher::AppMovedToTrash{trashed("Foo", "com.foo")});
    m_stream->yield(AppLibraryWatcher::AppRemoved{
        bundle("com.gone", "Gone", std::nullopt, "/Applications/Gone.app"_mac)});
    ASSERT_TRUE(waitFor([&] { return vm->trashNotices().size() == 2; }));
    const auto offered = vm->trashNoticeGate().offered;

    const auto foo = std::ranges::find(vm->trashNotices(), "Foo",
                                       [](const TrashedAppNotice& n) { return n.app.name; });
    ASSERT_NE(foo, vm->trashNotices().end());
    vm->dismissTrashNotice(*foo);
    ASSERT_EQ(vm->trashNotices().size(), 1u);
    EXPECT_EQ(vm->selectedAppID(), shown.id());
    EXPECT_EQ(vm->selectedAppIDs(), IdSet{shown.id()});
    EXPECT_EQ(vm->selectedLeftoverIDs(), IdSet{"/x"});
    EXPECT_EQ(vm->trashNoticeGate().offered, offered);

    // The vanished app opens in the detail pane, marked not found, with nothing ticked.
    vm->setBatchResults({BatchAppResult{shown, {}, {}, false, false, std::nullopt}});
    const TrashedAppNotice gone = vm->trashNotices()[0];
    vm->reviewTrashedApp(gone).detach();
    EXPECT_TRUE(vm->trashNotices().empty());
    EXPECT_TRUE(vm->batchResults().empty());
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    EXPECT_EQ(vm->selectedAppID(), "/Applications/Gone.app");
    EXPECT_EQ(vm->leftovers().size(), 4u);
    EXPECT_EQ(vm->detailAppLocation(), DetailAppLocation::notFound);
    EXPECT_TRUE(vm->selectedLeftoverIDs().empty());
}

TEST_F(Library, ARescanOfAnAppNotFoundKeepsNothingSelected)
{
    auto vm = scriptedController();
    giveLeftovers("Gone");
    for (LeftoverItem& found : m_leftovers["Gone"])
        found.confidence = core::MatchConfidence::certain;
    m_stream->yield(AppLibraryWatcher::AppRemoved{
        bundle("com.gone", "Gone", std::nullopt, "/Applications/Gone.app"_mac)});
    ASSERT_TRUE(waitFor([&] { return vm->trashNotices().size() == 1; }));
    vm->reviewTrashedApp(vm->trashNotices()[0]).detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    ASSERT_EQ(vm->detailAppLocation(), DetailAppLocation::notFound);

    vm->scanLeftovers().detach();
    EXPECT_TRUE(vm->isScanningLeftovers());
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    EXPECT_EQ(vm->leftovers().size(), 4u);
    EXPECT_EQ(vm->detailAppLocation(), DetailAppLocation::notFound);
    EXPECT_TRUE(vm->selectedLeftoverIDs().empty());
    EXPECT_TRUE(vm->selectedLeftovers().empty());
}

TEST_F(Library, ReviewingANoticeOfAnAppThatCameBackShowsTheInstalledApp)
{
    // Where the app is when its notice is reviewed.
    enum class Now
    {
        listedAgain,
        backButNotListedYet,
        deletedFromTheTrash
    };
    const struct
    {
        const char* name;
        bool viaTrash;
        Now now;
    } cases[] = {
        {"moved out of the folder and back", false, Now::listedAgain},
        {"trashed and put back", true, Now::listedAgain},
        {"moved out and back, before the list is refreshed", false, Now::backButNotListedYet},
        {"trashed and put back, before the list is refreshed", true, Now::backButNotListedYet},
        {"trashed, then deleted from the Trash", true, Now::deletedFromTheTrash},
    };
    for (const auto& c : cases) {
        m_stream = std::make_shared<Stream>();
        auto vm = scriptedController();
        const platform::MacPath installed("/Applications/Quill.app");
        const platform::MacPath inTrash = m_mac.home().appendingPathComponent(".Trash/Quill.app");
        const platform::PlistValue info = platform::PlistValue::Dictionary{
            {"CFBundleIdentifier", "com.quill"}, {"CFBundleName", "Quill"}};
        m_mac.makeApp(c.viaTrash ? inTrash : installed, info);
        {
            std::lock_guard lock(m_mutex);
            m_leftovers["Quill"] = {
                item(installed.path(), 500, LeftoverCategory::application),
                item("/Users/me/Library/Application Support/com.quill", 100),
                item("/Users/me/Library/Caches/com.quill", 20, LeftoverCategory::caches),
            };
            for (LeftoverItem& found : m_leftovers["Quill"])
                found.confidence = core::MatchConfidence::certain;
        }
        const WatchedAppBundle gone = c.viaTrash
                                          ? bundle("com.quill", "Quill", inTrash, installed)
                                          : bundle("com.quill", "Quill", std::nullopt, installed);
        if (c.viaTrash) {
            m_stream->yield(AppLibraryWatcher::AppMovedToTrash{gone});
        } else {
            m_stream->yield(AppLibraryWatcher::AppRemoved{gone});
        }
        ASSERT_TRUE(waitFor([&] { return vm->trashNotices().size() == 1; })) << c.name;

        if (c.now == Now::deletedFromTheTrash) {
            std::filesystem::remove_all(m_mac.host(inTrash));
        } else if (c.viaTrash) {
            ASSERT_EQ(::rename(m_mac.host(inTrash).c_str(), m_mac.host(installed).c_str()), 0);
        }
        const InstalledApp quill = app(installed.path(), "Quill", "com.quill");
        if (c.now == Now::listedAgain)
            vm->setApps({quill});
        vm->reviewTrashedApp(vm->trashNotices()[0]).detach();
        ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); })) << c.name;
        EXPECT_TRUE(vm->trashNotices().empty()) << c.name;
        EXPECT_EQ(vm->leftovers().size(), 3u) << c.name;
        if (c.now == Now::deletedFromTheTrash) {
            // Gone from the Trash as well: nothing confirms it was deleted, so nothing is ticked.
            EXPECT_EQ(vm->detailAppLocation(), DetailAppLocation::notFound) << c.name;
            EXPECT_TRUE(vm->selectedLeftoverIDs().empty()) << c.name;
        } else {
            EXPECT_EQ(vm->selectedAppID(), quill.id()) << c.name;
            ASSERT_TRUE(vm->selectedApp()) << c.name;
            EXPECT_EQ(vm->selectedApp()->url, installed) << c.name;
            EXPECT_EQ(vm->detailAppLocation(), DetailAppLocation::installed) << c.name;
            EXPECT_EQ(vm->selectedLeftoverIDs(), vm->defaultLeftoverSelection(vm->leftovers()))
                << c.name;
            EXPECT_FALSE(vm->selectedLeftoverIDs().empty()) << c.name;
        }

        // The list is refreshed: what the detail says and ticks still holds.
        vm->setApps(c.now == Now::deletedFromTheTrash ? std::vector<InstalledApp>{}
                                                      : std::vector<InstalledApp>{quill});
        vm->refreshDetailLocation().detach();
        ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); })) << c.name;
        EXPECT_EQ(vm->detailAppLocation(), c.now == Now::deletedFromTheTrash
                                               ? DetailAppLocation::notFound
                                               : DetailAppLocation::installed)
            << c.name;
        if (c.now == Now::deletedFromTheTrash) {
            EXPECT_TRUE(vm->selectedLeftoverIDs().empty()) << c.name;
        }
        std::filesystem::remove_all(m_mac.host(installed));
    }
}

} // namespace
} // namespace veldo::controller

namespace veldo::controller {
namespace {

using core::InstalledApp;
using platform::MacPath;
using testsupport::ControllerFixture;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;

class LibraryOnDisk : public ControllerFixture
{
protected:
    // A controller over the real watcher (short debounce) and the real leftover scan; the
    // watcher's baseline is taken before it is handed over.
    std::unique_ptr<UninstallViewModel> realController()
    {
        ControllerServices services;
        services.durations.libraryDebounce = 50ms;
        services.libraryWatcher = [real = ControllerServices{}.withDefaults().libraryWatcher](
                                      std::chrono::milliseconds debounce) {
            LibraryWatcherSession session = real(debounce);
            session.watcher->events()->cancel(); // runs on the watcher's queue, after the start
            return session;
        };
        auto vm = makeController(std::move(services));
        vm->startLibraryWatcher();
        return vm;
    }

    InstalledApp makeApp(const std::string& name, const std::string& bundleID)
    {
        const MacPath bundle("/Applications/" + name + ".app");
        m_mac.makeApp(bundle, platform::PlistValue::Dictionary{{"CFBundleIdentifier", bundleID},
                                                               {"CFBundleName", name}});
        for (const std::string folder : {"Library/Application Support/", "Library/Caches/"})
            m_mac.write(m_mac.home().appendingPathComponent(folder + bundleID + "/data"),
                        std::string(5000, 'x'));
        return app(bundle.path(), name, bundleID);
    }

    void moveToTrash(const InstalledApp& moved)
    {
        ASSERT_EQ(::rename(m_mac.host(moved.url).c_str(), m_mac.host(trashed(moved)).c_str()), 0);
    }

    MacPath trashed(const InstalledApp& moved) const
    {
        return m_mac.home().appendingPathComponent(".Trash/" + moved.name + ".app");
    }
};

TEST_F(LibraryOnDisk, AnAppDraggedToTheTrashIsOfferedAndOneVeldoMovesIsNot)
{
    m_mac.mkdir(m_mac.home().appendingPathComponent(".Trash"));
    const InstalledApp dragged = makeApp("Dragged", "com.example.dragged");
    const InstalledApp own = makeApp("Own", "com.example.own");
    const InstalledApp marker = makeApp("Marker", "com.example.marker");
    auto vm = realController();
    const auto noticeFor = [&](const std::string& name) {
        return std::ranges::find(vm->trashNotices(), name,
                                 [](const TrashedAppNotice& n) { return n.app.name; });
    };

    moveToTrash(dragged);
    ASSERT_TRUE(testsupport::RemovalFixture::waitLong(
        [&] { return noticeFor("Dragged") != vm->trashNotices().end(); }, 10s));
    const TrashedAppNotice notice = *noticeFor("Dragged");
    EXPECT_EQ(notice.bundle.trashURL, trashed(dragged));
    EXPECT_EQ(notice.bundle.originalURL, dragged.url);
    EXPECT_EQ(notice.itemCount, 2);
    std::int64_t expected = 0;
    const auto scanned =
        ControllerServices{}.withDefaults().leftoverScan(notice.app, vm->grantedAccess(), {});
    ASSERT_TRUE(scanned);
    for (const core::LeftoverItem& item : *scanned)
        if (item.category != core::LeftoverCategory::application)
            expected += item.sizeBytes;
    EXPECT_GE(expected, 10000);
    EXPECT_EQ(notice.totalBytes, expected);

    // Veldo's own move is expected by the gate; the marker moved after it is offered.
    vm->expectRemoval({item(own.url.path(), 0, core::LeftoverCategory::application)}, {own});
    moveToTrash(own);
    moveToTrash(marker);
    ASSERT_TRUE(testsupport::RemovalFixture::waitLong(
        [&] { return noticeFor("Marker") != vm->trashNotices().end(); }, 10s));
    // Own's notice, had it been offered, is prepared alongside the marker's.
    EXPECT_FALSE(testsupport::RemovalFixture::waitLong(
        [&] { return noticeFor("Own") != vm->trashNotices().end(); }, 300ms));
}

TEST_F(LibraryOnDisk, ANoticeLeavesOutItemsVeldoMovedSinceAndGoesWhenNoneAreLeft)
{
    m_mac.mkdir(m_mac.home().appendingPathComponent(".Trash"));
    const InstalledApp dragged = makeApp("Dragged", "com.example.dragged");
    auto vm = realController();
    moveToTrash(dragged);
    ASSERT_TRUE(
        testsupport::RemovalFixture::waitLong([&] { return vm->trashNotices().size() == 1; }, 10s));
    ASSERT_EQ(vm->trashNotices()[0].itemCount, 2);
    const std::int64_t before = vm->trashNotices()[0].totalBytes;

    // The app's cache folder is trashed as an orphan meanwhile, then its support folder.
    const auto trashAsOrphan = [&](const std::string& folder) {
        scanners::OrphanFinding finding;
        finding.item =
            item(m_mac.home().path() + "/Library/" + folder, 5000, core::LeftoverCategory::caches);
        vm->setOrphanResult(
            {{scanners::OrphanGroup{"com.example.dragged", "Dragged", {finding}}}, {}, false});
        vm->toggleOrphan(finding);
        ASSERT_TRUE(testsupport::RemovalFixture::finish(vm->removeOrphans()));
        ASSERT_EQ(vm->lastOutcome()->trashed.size(), 1u);
    };
    trashAsOrphan("Caches/com.example.dragged");
    ASSERT_EQ(vm->trashNotices().size(), 1u);
    EXPECT_EQ(vm->trashNotices()[0].itemCount, 1);
    EXPECT_GT(vm->trashNotices()[0].totalBytes, 0);
    EXPECT_LT(vm->trashNotices()[0].totalBytes, before);

    trashAsOrphan("Application Support/com.example.dragged");
    EXPECT_TRUE(vm->trashNotices().empty()) << "nothing is left to offer";
}

} // namespace
} // namespace veldo::controller

namespace veldo::controller {
namespace {

using core::InstalledApp;
using core::PackageManagerKind;
using platform::MacPath;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;

class LibraryOnDiskWithBrew : public LibraryOnDisk
{
protected:
    // Kestrel installed as the cask "kestrel", as brew records it in its Caskroom.
    InstalledApp makeCask()
    {
        m_mac.mkdir("/opt/homebrew/Caskroom/kestrel/3.0"_mac);
        m_mac.write("/opt/homebrew/Caskroom/kestrel/.metadata/3.0/20260601120000.000/Casks/"
                    "kestrel.rb"_mac,
                    "cask \"kestrel\" do\n  version \"3.0\"\n  app \"Kestrel.app\"\nend\n");
        return makeApp("Kestrel", "com.example.kestrel");
    }

    testsupport::StandInBrew m_brew{m_mac};
};

TEST_F(LibraryOnDiskWithBrew,
       ACaskUninstalledFromThePackageListIsOfferedWithinTheWatchersBoundAsRemoved)
{
    const InstalledApp kestrel = makeCask();
    auto vm = realController();
    vm->setApps({kestrel});
    leftovers::CaskInfo cask;
    cask.token = "kestrel";
    cask.appNames = {"Kestrel.app"};
    cask.appTargets = {"Kestrel.app"};
    vm->setCaskIndex({{"Kestrel.app", cask}});
    vm->setPackageGroups({core::PackageGroup{
        PackageManagerKind::brewCask,
        {core::DevPackage{PackageManagerKind::brewCask, "kestrel", "3.0", 0}}}});
    vm->selectAllPackages();

    const auto start = std::chrono::steady_clock::now();
    vm->removePackages().detach();
    ASSERT_TRUE(
        testsupport::RemovalFixture::waitLong([&] { return !vm->trashNotices().empty(); }, 6s));
    EXPECT_LE(std::chrono::steady_clock::now() - start, 6s);
    EXPECT_FALSE(std::filesystem::exists(m_mac.host(kestrel.url)));
    const TrashedAppNotice notice = vm->trashNotices().front();
    EXPECT_EQ(notice.app.name, "Kestrel");
    EXPECT_EQ(notice.bundle.originalURL, kestrel.url);
    EXPECT_EQ(notice.itemCount, 2);

    // Veldo saw brew delete it: the review says the app is removed, and ticks as for any
    // removed app.
    ASSERT_TRUE(testsupport::RemovalFixture::finish(vm->reviewTrashedApp(notice)));
    EXPECT_EQ(vm->selectedAppID(), kestrel.id());
    EXPECT_EQ(vm->detailAppLocation(), DetailAppLocation::removed);
    EXPECT_EQ(vm->selectedLeftoverIDs(), vm->defaultLeftoverSelection(vm->leftovers()));
}

TEST_F(LibraryOnDiskWithBrew, ACaskBrewFailedToUninstallIsNotTakenAsDeletedByHomebrewWhenItGoes)
{
    const InstalledApp kestrel = makeCask();
    m_brew.setMode("uninstall", "recorded");
    m_brew.setOutput("uninstall", "", "Error: It seems there is already an App at '/x'.\n", 1);
    auto vm = realController();
    vm->setApps({kestrel});
    leftovers::CaskInfo cask;
    cask.token = "kestrel";
    cask.appNames = {"Kestrel.app"};
    cask.appTargets = {"Kestrel.app"};
    vm->setCaskIndex({{"Kestrel.app", cask}});
    vm->setPackageGroups({core::PackageGroup{
        PackageManagerKind::brewCask,
        {core::DevPackage{PackageManagerKind::brewCask, "kestrel", "3.0", 0}}}});
    vm->selectAllPackages();
    ASSERT_TRUE(testsupport::RemovalFixture::finish(vm->removePackages()));
    ASSERT_TRUE(vm->lastPackageResult());
    ASSERT_EQ(vm->lastPackageResult()->failed.size(), 1u);
    ASSERT_TRUE(std::filesystem::exists(m_mac.host(kestrel.url)));

    // Kestrel stays; the user then takes it off the Mac by hand.
    std::filesystem::remove_all(m_mac.host(kestrel.url));
    ASSERT_TRUE(
        testsupport::RemovalFixture::waitLong([&] { return !vm->trashNotices().empty(); }, 6s));
    const TrashedAppNotice notice = vm->trashNotices().front();
    EXPECT_EQ(notice.bundle.originalURL, kestrel.url);
    EXPECT_FALSE(notice.deletedByHomebrew);
    ASSERT_TRUE(testsupport::RemovalFixture::finish(vm->reviewTrashedApp(notice)));
    EXPECT_EQ(vm->selectedAppID(), kestrel.id());
    EXPECT_EQ(vm->detailAppLocation(), DetailAppLocation::notFound);
    EXPECT_FALSE(vm->leftovers().empty());
    EXPECT_TRUE(vm->selectedLeftoverIDs().empty());
}

} // namespace
} // namespace veldo::controller
