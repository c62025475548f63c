// Opening apps with the application or by a drop: which items count as apps, the wait for the app
// scan, one app shown alone or several listed apps selected together, and the notices.
#include "platform/PlistValue.h"
#include "tests/controller/ScriptedScans.h"

namespace veldo::controller {
namespace {

using core::InstalledApp;
using namespace std::chrono_literals;

constexpr const char* kNotAnApp = "That item isn't a macOS application.";

class OpenApps : public test::ScriptedScans
{
protected:
    OpenApps()
    {
        m_realLoad = true;
        m_alpha = makeApp("/Applications/Alpha.app", "Alpha");
        m_beta = makeApp("/Applications/Beta.app", "Beta");
        m_outside =
            makeApp(m_mac.home().appendingPathComponent("Downloads/Outside.app").path(), "Outside");
    }

    InstalledApp makeApp(const std::string& path, const std::string& name)
    {
        const platform::MacPath url(path);
        m_mac.makeApp(url, platform::PlistValue::Dictionary{{"CFBundleName", name},
                                                            {"CFBundleIdentifier", "com." + name}});
        m_existing.insert(path);
        return app(path, name, "com." + name);
    }

    std::unique_ptr<UninstallViewModel> controller()
    {
        auto vm = scriptedController();
        vm->setApps({m_alpha, m_beta});
        return vm;
    }

    // Opens `urls` and runs the event loop until the operation ends.
    static void open(UninstallViewModel& vm, std::vector<platform::MacPath> urls)
    {
        Task<void> opening = vm.openApps(std::move(urls));
        ASSERT_TRUE(waitFor([&] { return opening.isDone(); }));
    }

    InstalledApp m_alpha;
    InstalledApp m_beta;
    InstalledApp m_outside;
};

TEST_F(OpenApps, ItemsWithoutTheAppExtensionOnlySetTheNotice)
{
    const platform::MacPath folder = m_mac.mkdir(m_mac.home().appendingPathComponent("Documents"));
    const platform::MacPath text = m_mac.write(m_mac.home().appendingPathComponent("a.txt"), "x");
    const platform::MacPath capitals =
        m_mac.mkdir(m_mac.home().appendingPathComponent("Loud.APP/Contents"))
            .deletingLastPathComponent();
    m_gate.openAll();
    struct Case
    {
        std::vector<platform::MacPath> urls;
        std::optional<std::string> notice;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{text, folder}, kNotAnApp},
        {{capitals}, kNotAnApp},
    };
    for (const Case& c : cases) {
        auto vm = controller();
        int notices = 0;
        QObject::connect(vm.get(), &UninstallViewModel::dropNoticeChanged, [&] { ++notices; });
        open(*vm, c.urls);
        EXPECT_EQ(vm->dropNotice(), c.notice) << c.urls.size();
        EXPECT_EQ(notices, c.notice ? 1 : 0);
        EXPECT_FALSE(vm->selectedAppID());
        EXPECT_EQ(m_gate.startCount(), 0u);
    }
}

TEST_F(OpenApps, OneAppAmongOtherFilesIsOpenedWithoutAWord)
{
    m_gate.openAll();
    auto vm = controller();
    open(*vm, {m_mac.write(m_mac.home().appendingPathComponent("a.txt"), "x"), m_beta.url});
    EXPECT_EQ(vm->selectedAppID(), m_beta.id());
    EXPECT_FALSE(vm->dropNotice());
}

TEST_F(OpenApps, WaitsInStepsForTheRunningAppScanThenOpens)
{
    m_appLists = {{m_alpha, m_beta}};
    m_gate.open(m_beta.id());
    auto vm = scriptedController();
    vm->setApps({m_alpha});
    vm->scanApps().detach();
    ASSERT_TRUE(vm->isScanningApps());

    Task<void> opening = vm->openApps({m_beta.url});
    for (int i = 0; i < 20; ++i)
        processEvents();
    EXPECT_FALSE(opening.isDone());
    EXPECT_FALSE(vm->selectedAppID());

    m_gate.open("apps 0");
    ASSERT_TRUE(waitFor([&] { return opening.isDone(); }));
    EXPECT_EQ(vm->selectedAppID(), m_beta.id());
    EXPECT_EQ(m_gate.starts("apps 0"), 1u);
    EXPECT_EQ(vm->apps().size(), 2u);
}

TEST_F(OpenApps, ACancelledWaitStillOpensWithTheListAsItIs)
{
    m_appLists = {{m_alpha, m_beta}};
    m_gate.open(m_alpha.id());
    auto vm = scriptedController();
    vm->setApps({m_alpha});
    vm->scanApps().detach();

    Task<void> opening = vm->openApps({m_alpha.url});
    processEvents();
    opening.handle()->cancel();
    ASSERT_TRUE(waitFor([&] { return opening.isDone(); }));
    EXPECT_TRUE(vm->isScanningApps());
    EXPECT_EQ(vm->selectedAppID(), m_alpha.id());
    EXPECT_EQ(m_gate.starts("apps 0"), 1u);
}

TEST_F(OpenApps, AnEmptyListIsLoadedFirst)
{
    m_appLists = {{m_alpha, m_beta}};
    m_gate.openAll();
    auto vm = scriptedController();
    open(*vm, {m_beta.url});
    EXPECT_EQ(m_gate.starts("apps 0"), 1u);
    EXPECT_EQ(vm->apps().size(), 2u);
    EXPECT_EQ(vm->selectedAppID(), m_beta.id());
}

TEST_F(OpenApps, SeveralListedAppsAreSelectedTogether)
{
    const InstalledApp other =
        makeApp(m_mac.home().appendingPathComponent("Downloads/Other.app").path(), "Other");
    m_gate.openAll();
    struct Case
    {
        std::vector<platform::MacPath> urls;
        std::optional<std::string> notice;
    };
    const Case cases[] = {
        {{m_alpha.url, m_beta.url}, std::nullopt},
        {{m_outside.url, m_alpha.url, m_beta.url},
         "Left out 1 dropped app that Veldo hasn\u2019t listed. Drop apps from other folders one "
         "at a time to scan them."},
        {{m_outside.url, m_alpha.url, other.url, m_beta.url},
         "Left out 2 dropped apps that Veldo hasn\u2019t listed. Drop apps from other folders one "
         "at a time to scan them."},
    };
    for (const Case& c : cases) {
        auto vm = controller();
        open(*vm, c.urls);
        EXPECT_EQ(vm->selectedAppIDs(), (IdSet{m_alpha.id(), m_beta.id()}));
        EXPECT_FALSE(vm->selectedAppID());
        EXPECT_EQ(vm->batchResults().size(), 2u);
        EXPECT_EQ(vm->dropNotice(), c.notice);
        EXPECT_EQ(vm->apps().size(), 2u);
    }
}

TEST_F(OpenApps, WithFewerThanTwoListedTheFirstAppIsOpenedAlone)
{
    const platform::MacPath missing = m_mac.home().appendingPathComponent("Missing.app");
    const platform::MacPath alphaAgain("/Applications/./Alpha.app");
    m_gate.openAll();
    struct Case
    {
        std::vector<platform::MacPath> urls;
        std::optional<std::string> selected;
        std::string notice;
    };
    const Case cases[] = {
        {{m_outside.url, m_alpha.url},
         m_outside.id(),
         "Only \u201COutside\u201D was opened. Select several apps in the sidebar with "
         "\u2318-click to remove them together."},
        {{missing, m_alpha.url}, std::nullopt, kNotAnApp},
        {{m_alpha.url, alphaAgain},
         m_alpha.id(),
         "Only \u201CAlpha\u201D was opened. Select several apps in the sidebar with "
         "\u2318-click to remove them together."},
    };
    for (const Case& c : cases) {
        auto vm = controller();
        open(*vm, c.urls);
        EXPECT_EQ(vm->selectedAppID(), c.selected) << c.notice;
        EXPECT_EQ(vm->dropNotice(), c.notice);
        EXPECT_TRUE(vm->batchResults().empty());
    }
}

TEST(OpenAppsDurations, TheWaitLooksEveryFiftyMilliseconds)
{
    EXPECT_EQ(ControllerDurations::kOpenAppsPollInterval, 50ms);
    EXPECT_EQ(ControllerDurations{}.openAppsPollInterval, 50ms);
}

} // namespace
} // namespace veldo::controller
