// The Homebrew cask uninstall of the detail app, through the stand-in brew on a fake Mac.
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "app/core/AppProtection.h"
#include "tests/controller/RemovalFixture.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInBrew.h"

namespace veldo::controller {
namespace {

using core::InstalledApp;
using core::LeftoverCategory;
using core::LeftoverItem;
using leftovers::HomebrewCasks::UninstallFailure;
using leftovers::HomebrewCasks::Zap;
using platform::MacPath;
using testsupport::RemovalFixture;
using testsupport::StandInBrew;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;
using Kind = UninstallFailure::Kind;

class Casks : public RemovalFixture
{
protected:
    Casks()
    {
        m_mac.mkdir("/opt/homebrew/Caskroom/acme/1.0"_mac);
        m_acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme");
        m_acme.sizeBytes = 70;
        m_other = makeApp("/Applications/Other.app"_mac, "Other", "com.other");
        leftovers::CaskInfo cask;
        cask.token = "acme";
        cask.hasZap = true;
        cask.appNames = {"Acme.app"};
        m_index = {{"Acme.app", cask}};
    }

    std::unique_ptr<UninstallViewModel> caskController()
    {
        ControllerServices services;
        services.loadCaskIndex = [this](bool force,
                                        std::stop_token) -> Result<leftovers::CaskIndex> {
            std::lock_guard lock(m_mutex);
            m_indexLoads.push_back(force);
            return m_index;
        };
        services.leftoverScan = [this](const InstalledApp& app,
                                       const std::vector<core::ScopedAccessRoot>&,
                                       std::stop_token stop) -> Result<std::vector<LeftoverItem>> {
            std::unique_lock lock(m_mutex);
            m_scans.push_back(app.id());
            m_changed.notify_all();
            m_changed.wait(lock, stop, [&] { return !m_holdScans; });
            return app.id() == m_acme.id() ? m_leftoversAfter : std::vector<LeftoverItem>{};
        };
        services.caskUninstall = [this](const std::string& token, Zap zap, std::stop_token stop) {
            if (m_beforeBrew)
                m_beforeBrew();
            return leftovers::HomebrewCasks::uninstall(token, zap, m_brewTimeout, {}, stop);
        };
        services.runningStatus = [this](const InstalledApp&) {
            core::RunningAppStatus status;
            status.isRunning = m_running;
            return status;
        };
        auto vm = removalController(std::move(services));
        vm->setApps({m_acme, m_other});
        vm->setCaskIndex(m_index);
        vm->setSelectedAppID(m_acme.id());
        vm->setSelectedAppIDs({m_acme.id()});
        vm->setDetailApp(m_acme);
        vm->setLeftovers({item(m_acme.id(), 5000, LeftoverCategory::application),
                          item("/Users/me/Library/Caches/com.acme", 9)});
        return vm;
    }

    // Brew deletes the bundle as it runs.
    void brewDeletesTheBundle()
    {
        m_beforeBrew = [this] { std::filesystem::remove_all(m_mac.host(m_acme.url)); };
    }

    std::vector<LeftoverItem> leftoversAfter(int count)
    {
        std::vector<LeftoverItem> items;
        for (int i = 0; i < count; ++i)
            items.push_back(item("/Users/me/Library/Caches/com.acme." + std::to_string(i), 1));
        return items;
    }

    StandInBrew m_brew{m_mac};
    InstalledApp m_acme;
    InstalledApp m_other;
    leftovers::CaskIndex m_index;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::vector<bool> m_indexLoads;
    std::vector<std::string> m_scans;
    bool m_holdScans = false;
    std::vector<LeftoverItem> m_leftoversAfter;
    std::function<void()> m_beforeBrew;
    std::chrono::milliseconds m_brewTimeout = leftovers::HomebrewCasks::kUninstallTimeout;
    std::atomic<bool> m_running = false;
};

TEST_F(Casks, SuccessReportsWhatIsLeftForReview)
{
    const struct
    {
        int left;
        bool deletesBundle;
        const char* notice;
    } cases[] = {
        {3, true,
         "Homebrew uninstalled “Acme”. Veldo found 3 leftover items — review them below and move "
         "them to the Trash."},
        {1, false,
         "Homebrew uninstalled “Acme”. Veldo found 1 leftover item — review them below and move "
         "them to the Trash."},
        {0, true, "Homebrew uninstalled “Acme”. Veldo found nothing else left behind."},
    };
    for (const auto& c : cases) {
        m_mac.mkdir("/opt/homebrew/Caskroom/acme/1.0"_mac);
        m_mac.makeApp(m_acme.url, platform::PlistValue::Dictionary{{"CFBundleName", "Acme"}});
        m_beforeBrew = nullptr;
        if (c.deletesBundle)
            brewDeletesTheBundle();
        m_leftoversAfter = leftoversAfter(c.left);
        m_indexLoads.clear();
        m_stats->reset();
        auto vm = caskController();
        vm->setHasScannedPackages(true);
        vm->setHasScannedDeveloper(true);

        Task<void> uninstall = vm->uninstallCask(Zap::no);
        EXPECT_TRUE(vm->isRemoving());
        ASSERT_TRUE(waitLong([&] { return uninstall.isDone(); })) << c.left;
        EXPECT_FALSE(vm->isRemoving());
        EXPECT_EQ(vm->dropNotice(), c.notice);
        EXPECT_FALSE(vm->caskFailure());
        const std::vector<std::string> calls = m_brew.calls();
        ASSERT_FALSE(calls.empty()) << c.left;
        EXPECT_EQ(calls.back(), "[uninstall][--cask][acme]");
        EXPECT_EQ(m_indexLoads, std::vector<bool>{true}) << c.left;
        EXPECT_FALSE(vm->hasScannedPackages());
        EXPECT_EQ(vm->hasScannedDeveloper(), !c.deletesBundle);
        // Statistics only when the bundle went, with its size from the list before brew ran.
        EXPECT_EQ(m_stats->totalBytesReclaimed(), c.deletesBundle ? 5000 : 0) << c.left;
        EXPECT_EQ(m_stats->totalAppsCleaned(), c.deletesBundle ? 1 : 0) << c.left;
        EXPECT_EQ(vm->apps().size(), c.deletesBundle ? 1u : 2u);
        if (c.left == 0) {
            EXPECT_FALSE(vm->selectedAppID());
            EXPECT_TRUE(vm->selectedAppIDs().empty());
        } else {
            EXPECT_EQ(vm->selectedAppID(), m_acme.id());
            EXPECT_EQ(vm->detailAppLocation(),
                      c.deletesBundle ? DetailAppLocation::removed : DetailAppLocation::installed);
            EXPECT_EQ(vm->leftovers().size(), static_cast<std::size_t>(c.left));
        }
    }
}

TEST_F(Casks, AnotherAppChosenWhileBrewRunsOrDuringTheRescanStaysShown)
{
    for (const bool duringRescan : {false, true}) {
        m_mac.mkdir("/opt/homebrew/Caskroom/acme/1.0"_mac);
        m_mac.makeApp(m_acme.url, platform::PlistValue::Dictionary{{"CFBundleName", "Acme"}});
        m_stats->reset();
        m_leftoversAfter = leftoversAfter(2);
        auto vm = caskController();
        std::mutex brewing;
        std::unique_lock hold(brewing);
        m_beforeBrew = [&] {
            std::filesystem::remove_all(m_mac.host(m_acme.url));
            std::lock_guard wait(brewing);
        };
        {
            std::lock_guard lock(m_mutex);
            m_holdScans = duringRescan;
            m_scans.clear();
        }

        Task<void> uninstall = vm->uninstallCask(Zap::yes);
        if (duringRescan) {
            hold.unlock();
            ASSERT_TRUE(waitLong([&] {
                std::lock_guard lock(m_mutex);
                return !m_scans.empty();
            }));
        }
        Task<void> other = vm->showApp(m_other);
        {
            std::lock_guard lock(m_mutex);
            m_holdScans = false;
            m_changed.notify_all();
        }
        if (!duringRescan)
            hold.unlock();
        ASSERT_TRUE(waitLong([&] { return uninstall.isDone() && other.isDone(); }));

        EXPECT_EQ(vm->dropNotice(), "Homebrew uninstalled “Acme”.") << duringRescan;
        EXPECT_EQ(vm->selectedAppID(), m_other.id()) << duringRescan;
        EXPECT_EQ(vm->selectedAppIDs(), IdSet{m_other.id()}) << duringRescan;
        EXPECT_EQ(vm->detailApp(), m_other) << duringRescan;
        EXPECT_EQ(m_stats->totalBytesReclaimed(), 5000) << duringRescan;
        const std::vector<std::string> calls = m_brew.calls();
        ASSERT_FALSE(calls.empty()) << duringRescan;
        EXPECT_EQ(calls.back(), "[uninstall][--cask][--zap][acme]");
        EXPECT_FALSE(vm->isRemoving());
        m_beforeBrew = nullptr;
    }
}

TEST_F(Casks, AnAppThatDoesNotQuitStopsBeforeBrew)
{
    m_running = true;
    auto vm = caskController();
    Task<void> uninstall = vm->uninstallCask(Zap::no);
    ASSERT_TRUE(waitLong([&] { return uninstall.isDone(); }));
    EXPECT_EQ(vm->dropNotice(),
              "“Acme” didn’t quit, so Homebrew wasn’t run. Quit it and try again.");
    EXPECT_GE(m_quitRequests, 1);
    EXPECT_TRUE(m_brew.calls().empty());
    EXPECT_FALSE(vm->isRemoving());
}

TEST_F(Casks, ABrewFailureAfterTheBundleWentSaysSoAndCountsTheApp)
{
    brewDeletesTheBundle();
    m_brew.setMode("uninstall", "recorded");
    m_brew.setOutput("uninstall", "==> Uninstalling Cask acme\n", "Error: Permission denied @ x\n",
                     1);
    m_leftoversAfter = leftoversAfter(1);
    auto vm = caskController();
    Task<void> uninstall = vm->uninstallCask(Zap::yes);
    ASSERT_TRUE(waitLong([&] { return uninstall.isDone(); }));

    ASSERT_TRUE(vm->caskFailure());
    const CaskFailure& failure = *vm->caskFailure();
    EXPECT_TRUE(failure.appWasRemoved);
    EXPECT_EQ(failure.message, "Homebrew deleted “Acme” but didn’t finish cleaning up after it. "
                               "Error: Permission denied @ x");
    EXPECT_EQ(failure.terminalCommand, "brew uninstall --cask --zap acme");
    EXPECT_EQ(failure.appName, "Acme");
    EXPECT_EQ(failure.token, "acme");
    EXPECT_NE(failure.output.find("Uninstalling Cask acme"), std::string::npos);
    EXPECT_EQ(vm->detailAppLocation(), DetailAppLocation::removed);
    EXPECT_EQ(vm->leftovers().size(), 1u);
    EXPECT_FALSE(vm->dropNotice());
    EXPECT_EQ(m_stats->totalAppsCleaned(), 1);
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Funk"});
}

TEST_F(Casks, FailuresWithTheBundleInPlaceCountNothing)
{
    const struct
    {
        const char* mode;
        std::chrono::milliseconds timeout;
        const char* message;
    } cases[] = {
        {"password", leftovers::HomebrewCasks::kUninstallTimeout,
         "Homebrew needs your administrator password to uninstall this cask. Run the command in "
         "Terminal instead."},
        {"", leftovers::HomebrewCasks::kUninstallTimeout,
         "Homebrew says this cask isn't installed."}, // no Caskroom folder
        {"hang", 300ms, "brew didn't finish in time."},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(m_mac.host("/opt/homebrew/Caskroom/acme"_mac));
        m_brew.setMode("uninstall", c.mode);
        m_brewTimeout = c.timeout;
        auto vm = caskController();
        Task<void> uninstall = vm->uninstallCask(Zap::no);
        ASSERT_TRUE(waitLong([&] { return uninstall.isDone(); })) << c.mode;
        ASSERT_TRUE(vm->caskFailure()) << c.mode;
        EXPECT_EQ(vm->caskFailure()->message, c.message);
        EXPECT_FALSE(vm->caskFailure()->appWasRemoved);
        EXPECT_EQ(vm->caskFailure()->terminalCommand, "brew uninstall --cask acme");
        EXPECT_EQ(vm->detailAppLocation(), DetailAppLocation::installed);
        EXPECT_EQ(vm->apps().size(), 2u);
        EXPECT_EQ(m_stats->totalItemsRemoved(), 0);
        EXPECT_FALSE(vm->isRemoving());
    }

    const struct
    {
        UninstallFailure failure;
        const char* message;
    } messages[] = {
        {UninstallFailure::failed("Error: boom"), "Error: boom"},
        {UninstallFailure::of(Kind::brewNotFound),
         "Homebrew isn't installed, or Veldo couldn't find brew."},
        {UninstallFailure::of(Kind::invalidToken), "This isn't a valid Homebrew cask name."},
        {UninstallFailure::of(Kind::couldNotRun), "Veldo couldn't run brew."},
    };
    for (const auto& m : messages)
        EXPECT_EQ(UninstallViewModel::caskFailureMessage(m.failure), m.message);
}

TEST_F(Casks, NothingRunsWhileUndoingOrForAnAppBrewMayNotRemove)
{
    auto vm = caskController();
    EXPECT_EQ(vm->detailCaskState(), (UninstallViewModel::DetailCaskState{"acme", true}));

    vm->setIsUndoing(true);
    EXPECT_TRUE(vm->uninstallCask(Zap::no).isDone());
    vm->setIsUndoing(false);

    vm->setDetailAppLocation(DetailAppLocation::inTrash);
    EXPECT_FALSE(vm->detailCaskState());
    EXPECT_TRUE(vm->uninstallCask(Zap::no).isDone());
    EXPECT_FALSE(vm->dropNotice());
    vm->setDetailAppLocation(DetailAppLocation::installed);

    // An index that no longer lists the app.
    vm->setCaskIndex({});
    EXPECT_FALSE(vm->detailCaskState());
    EXPECT_TRUE(vm->uninstallCask(Zap::no).isDone());
    EXPECT_EQ(vm->dropNotice(), "Homebrew no longer lists “Acme” as installed, so brew wasn’t "
                                "run. Rescan to see what’s there now.");
    EXPECT_TRUE(m_brew.calls().empty());
    EXPECT_FALSE(vm->isRemoving());
}

} // namespace
} // namespace veldo::controller

namespace veldo::controller {
namespace {

TEST_F(Casks, AGarbledCaskroomReloadsWithoutTheGarbage)
{
    m_mac.write("/opt/homebrew/Caskroom/junk-file"_mac, "\xff\xfe not a cask");
    m_mac.write("/opt/homebrew/Caskroom/broken/.metadata/1.0/20260101/Casks/broken.json"_mac,
                "{\"token\": [1, 2");
    m_mac.mkdir("/opt/homebrew/Caskroom/empty"_mac);
    brewDeletesTheBundle();
    const ControllerServices real = ControllerServices{}.withDefaults();
    // The reload after the uninstall reads the Caskroom for real.
    ControllerServices services;
    services.loadCaskIndex = real.loadCaskIndex;
    services.leftoverScan = [](const InstalledApp&, const std::vector<core::ScopedAccessRoot>&,
                               std::stop_token) -> Result<std::vector<LeftoverItem>> {
        return std::vector<LeftoverItem>{};
    };
    services.caskUninstall = [this](const std::string& token, Zap zap, std::stop_token stop) {
        m_beforeBrew();
        return leftovers::HomebrewCasks::uninstall(token, zap, m_brewTimeout, {}, stop);
    };
    auto vm = removalController(std::move(services));
    vm->setApps({m_acme});
    vm->setCaskIndex(m_index);
    vm->setSelectedAppID(m_acme.id());
    vm->setSelectedAppIDs({m_acme.id()});
    vm->setDetailApp(m_acme);

    Task<void> uninstall = vm->uninstallCask(Zap::no);
    ASSERT_TRUE(waitLong([&] {
        return uninstall.isDone() && vm->caskIndexTask() && vm->caskIndexTask()->isDone();
    }));
    EXPECT_EQ(vm->dropNotice(),
              "Homebrew uninstalled “Acme”. Veldo found nothing else left behind.");
    for (const auto& [name, cask] : vm->caskIndex())
        EXPECT_NE(cask.token, "junk-file") << name;
}

} // namespace
} // namespace veldo::controller
