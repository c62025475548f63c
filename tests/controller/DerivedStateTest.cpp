// Values derived from the controller's state: selection, the sidebar list, sizes of what may be
// removed, and the list helpers of the removal engine.
#include <QSignalSpy>

#include "platform/MainBundle.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::controller {
namespace {

using testsupport::ControllerFixture;
using namespace veldo::testsupport::literals;
using core::LeftoverCategory;

std::vector<std::string> ids(const std::vector<core::InstalledApp>& apps)
{
    std::vector<std::string> out;
    for (const auto& a : apps)
        out.push_back(a.id());
    return out;
}

std::vector<std::string> ids(const std::vector<core::LeftoverItem>& items)
{
    std::vector<std::string> out;
    for (const auto& i : items)
        out.push_back(i.id());
    return out;
}

class DerivedState : public ControllerFixture
{
protected:
    // A controller whose safety policy refuses the paths in m_refused and counts its verdicts.
    std::unique_ptr<UninstallViewModel> scriptedController()
    {
        ControllerServices services;
        services.removalRefusal = [this](const platform::MacPath& url,
                                         const common::RemovalSafety::PreparedContext&) {
            ++m_verdicts;
            return m_refused.contains(url.path())
                       ? std::optional(common::RemovalSafety::Refusal::unidentifiable())
                       : std::nullopt;
        };
        return makeController(std::move(services));
    }

    std::set<std::string> m_refused;
    int m_verdicts = 0;
};

TEST_F(DerivedState, SelectedAppFallsBackToTheDetailAppOnly)
{
    const auto a = app("/Applications/A.app", "A");
    const auto gone = app("/Applications/Gone.app", "Gone");
    struct Case
    {
        const char* what;
        std::optional<std::string> selected;
        std::optional<core::InstalledApp> detail;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"nothing selected", std::nullopt, gone, std::nullopt},
        {"a listed app", "/Applications/A.app", std::nullopt, "/Applications/A.app"},
        {"removed, kept as detail app", "/Applications/Gone.app", gone, "/Applications/Gone.app"},
        {"removed, other detail app", "/Applications/Gone.app", a, std::nullopt},
        {"a tool entry", "veldo://orphans", gone, std::nullopt},
        {"a trailing slash is another id", "/Applications/A.app/", std::nullopt, std::nullopt},
    };
    auto controller = makeController();
    controller->setApps({a});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        controller->setSelectedAppID(c.selected);
        controller->setDetailApp(c.detail);
        const auto selected = controller->selectedApp();
        EXPECT_EQ(selected ? std::optional(selected->id()) : std::nullopt, c.expected);
    }
    controller->setSelectedAppIDs(
        {"/Applications/A.app", "veldo://developer", "/Applications/Z.app"});
    EXPECT_EQ(ids(controller->selectedApps()), std::vector<std::string>{"/Applications/A.app"});
}

TEST_F(DerivedState, SearchTrimsSpacesAndTabsAndIgnoresCase)
{
    auto controller = makeController();
    controller->setApps({app("/Applications/Safari.app", "Safari", "com.apple.Safari"),
                         app("/Applications/Éclair.app", "éclair"),
                         app("/Applications/Notes.app", "Notes", "com.apple.Notes")});
    struct Case
    {
        const char* query;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"", {"/Applications/Éclair.app", "/Applications/Notes.app", "/Applications/Safari.app"}},
        {"   ",
         {"/Applications/Éclair.app", "/Applications/Notes.app", "/Applications/Safari.app"}},
        {"SAFARI", {"/Applications/Safari.app"}},
        {"\t saf \t", {"/Applications/Safari.app"}},
        {"apple.not", {"/Applications/Notes.app"}},
        {"ÉCLAIR", {"/Applications/Éclair.app"}},
        {"saf\n", {}}, // line breaks are not trimmed
        {"zzz", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        controller->setSearchText(c.query);
        EXPECT_EQ(ids(controller->sortedApps()), c.expected);
    }
}

TEST_F(DerivedState, SortingIsStableAndPutsNeverUsedAppsLast)
{
    auto controller = makeController();
    const auto at = [](int seconds) { return core::Date(std::chrono::seconds(seconds)); };
    auto first = app("/Applications/1.app", "beta");
    auto second = app("/Applications/2.app", "Alpha");
    second.lastUsed = at(100);
    auto third = app("/Applications/3.app", "alpha");
    third.lastUsed = at(300);
    auto fourth = app("/Applications/4.app", "Gamma");
    auto fifth = app("/Applications/5.app", "delta");
    fifth.lastUsed = at(100);
    controller->setApps({first, second, third, fourth, fifth});

    controller->setSortOrder(SortOrder::name);
    EXPECT_EQ(ids(controller->sortedApps()),
              (std::vector<std::string>{"/Applications/2.app", "/Applications/3.app",
                                        "/Applications/1.app", "/Applications/5.app",
                                        "/Applications/4.app"}));
    controller->setSortOrder(SortOrder::lastUsed);
    EXPECT_EQ(ids(controller->sortedApps()),
              (std::vector<std::string>{"/Applications/3.app", "/Applications/2.app",
                                        "/Applications/5.app", "/Applications/1.app",
                                        "/Applications/4.app"}));
    controller->setApps({});
    EXPECT_TRUE(controller->sortedApps().empty());
}

TEST_F(DerivedState, RemovableItemsDropRefusedNestedAndRepeatedItems)
{
    auto controller = scriptedController();
    m_refused = {"/Library/Refused"};
    const std::vector<core::LeftoverItem> items = {
        item("/Library/Caches/com.example", 10), item("/Library/Caches/com.example/inner", 1),
        item("/Library/Refused", 100),           item("/Library/Caches/com.example", 10),
        item("/Library/Logs/Example", 5),
    };
    EXPECT_EQ(ids(controller->removableItems(items)),
              (std::vector<std::string>{"/Library/Caches/com.example", "/Library/Logs/Example"}));

    controller->setLeftovers(items);
    EXPECT_EQ(controller->removableLeftoverBytes(), 15);
    controller->setSelectedLeftoverIDs({"/Library/Refused", "/Library/Caches/com.example/inner"});
    EXPECT_EQ(controller->selectedLeftoverBytes(), 1);

    m_refused = {"/Library/A", "/Library/B"};
    controller->setLeftovers({item("/Library/A", 7), item("/Library/B", 9)});
    controller->setSelectedLeftoverIDs({"/Library/A", "/Library/B"});
    EXPECT_EQ(controller->removableLeftoverBytes(), 0);
    EXPECT_EQ(controller->selectedLeftoverBytes(), 0);
    controller->setLeftovers({});
    EXPECT_EQ(controller->removableLeftoverBytes(), 0);
}

TEST_F(DerivedState, VerdictsAreComputedOncePerChangeOfTheirList)
{
    auto controller = scriptedController();
    controller->setLeftovers({item("/Library/A", 1), item("/Library/B", 2)});
    controller->setSelectedLeftoverIDs({"/Library/A"});
    for (int read = 0; read < 5; ++read) {
        EXPECT_EQ(controller->removableLeftoverBytes(), 3);
        EXPECT_EQ(controller->selectedLeftoverBytes(), 1);
    }
    EXPECT_EQ(m_verdicts, 2);

    controller->setLeftovers({item("/Library/A", 1), item("/Library/C", 4)});
    EXPECT_EQ(controller->removableLeftoverBytes(), 5);
    EXPECT_EQ(m_verdicts, 4);
    // A new app list changes the context: the verdicts are asked again.
    controller->setApps({app("/Applications/A.app", "A")});
    EXPECT_EQ(controller->removableLeftoverBytes(), 5);
    EXPECT_EQ(m_verdicts, 6);
}

TEST_F(DerivedState, AReceiverOfAListChangeReadsVerdictsOfTheNewList)
{
    auto controller = scriptedController();
    controller->setLeftovers({item("/Library/A", 1)});
    EXPECT_EQ(controller->removableLeftoverBytes(), 1); // "/Library/A" let through, kept
    m_refused = {"/Library/A"};
    std::int64_t seen = -1;
    QObject::connect(controller.get(), &UninstallViewModel::appsChanged, controller.get(),
                     [&] { seen = controller->removableLeftoverBytes(); });
    controller->setApps({app("/Applications/A.app", "A")});
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(controller->removableLeftoverBytes(), 0);
}

TEST_F(DerivedState, TheRealPolicyRefusesAProtectedFolder)
{
    auto controller = makeController();
    const platform::MacPath cache =
        m_mac.mkdir(m_mac.home().appendingPathComponent("Library/Caches/Example"));
    controller->setLeftovers({item("/Library", 1000), item(cache.path(), 8)});
    EXPECT_EQ(controller->removableLeftoverBytes(), 8);
    controller->selectAllLeftovers();
    EXPECT_EQ(controller->selectedLeftoverIDs(), IdSet{cache.path()});

    const common::RemovalSafety::Context context = controller->removalSafetyContext();
    EXPECT_EQ(context.homeDirectory, m_mac.home());
    EXPECT_EQ(context.protectedBundles, std::vector{platform::mainBundleURL()});
    EXPECT_TRUE(context.installedApps.empty());
    EXPECT_TRUE(context.inspectsDisk);
}

TEST_F(DerivedState, BatchSelectionsLeaveOutProtectedAppsAndNestedItems)
{
    auto controller = scriptedController();
    m_refused = {"/Library/Refused"};
    BatchAppResult a{app("/Applications/A.app", "A"), {}, {}, false, false, std::nullopt};
    a.defaultSelected = {item("/Applications/A.app", 100, LeftoverCategory::application),
                         item("/Library/Shared", 10)};
    BatchAppResult b{app("/Applications/B.app", "B"), {}, {}, false, false, std::nullopt};
    b.defaultSelected = {item("/Library/Shared/B", 3), item("/Library/Refused", 50),
                         item("/Library/B", 2)};
    BatchAppResult locked{app("/Applications/L.app", "L"), {}, {}, true, false, std::nullopt};
    locked.defaultSelected = {item("/Library/L", 1000)};
    controller->setBatchResults({a, b, locked});
    controller->setBatchIncludedIDs(
        {"/Applications/A.app", "/Applications/B.app", "/Applications/L.app"});

    const auto included = controller->includedBatchResults();
    ASSERT_EQ(included.size(), 2U);
    EXPECT_EQ(included[1].app.id(), "/Applications/B.app");
    // B's "/Library/Shared/B" lies inside A's "/Library/Shared" once both are joined.
    EXPECT_EQ(controller->includedBatchBytes(), 112);
    EXPECT_EQ(controller->includedBatchItemCount(), 3);
    EXPECT_EQ(controller->selectedBytes(b), 5);
    EXPECT_TRUE(a.removesAppBundle());
    EXPECT_FALSE(b.removesAppBundle());

    controller->setBatchIncludedIDs({});
    EXPECT_EQ(controller->includedBatchBytes(), 0);
    EXPECT_EQ(controller->includedBatchItemCount(), 0);
}

TEST_F(DerivedState, ToolchainAndPackageSelectionsKeepListOrder)
{
    auto controller = makeController();
    core::ToolchainItem cache{core::ToolchainKind::node, "npm cache", "", "/Users/u/.npm"_mac, 30};
    core::ToolchainItem runtime{core::ToolchainKind::python, "pyenv", "", "/Users/u/.pyenv"_mac,
                                12};
    controller->setToolchainGroups(
        {{core::ToolchainKind::node, {cache}}, {core::ToolchainKind::python, {runtime}}});
    controller->setSelectedToolchainIDs({"/Users/u/.pyenv", "/Users/u/.npm"});
    const auto tools = controller->selectedToolchainItems();
    ASSERT_EQ(tools.size(), 2U);
    EXPECT_EQ(tools[0].title, "npm cache");
    EXPECT_EQ(controller->toolchainTotalBytes(), 42);

    core::DevPackage npmLeft{core::PackageManagerKind::npm, "left-pad", "1.3.0", 1};
    core::DevPackage pipLeft{core::PackageManagerKind::pip, "left-pad", "0.1", 2};
    controller->setPackageGroups(
        {{core::PackageManagerKind::npm, {npmLeft}}, {core::PackageManagerKind::pip, {pipLeft}}});
    controller->setSelectedPackageIDs({"pip:left-pad"});
    const auto packages = controller->selectedPackages();
    ASSERT_EQ(packages.size(), 1U);
    EXPECT_EQ(packages[0].manager, core::PackageManagerKind::pip);
}

TEST_F(DerivedState, GrantedAccessByKind)
{
    auto controller = makeController();
    EXPECT_TRUE(controller->hasGrantedAccess(core::AccessRootKind::userLibrary));
    controller->setGrantedAccess({{core::AccessRootKind::applications, "/Applications"_mac},
                                  {core::AccessRootKind::applications, "/Other"_mac}});
    EXPECT_FALSE(controller->hasGrantedAccess(core::AccessRootKind::userLibrary));
    EXPECT_FALSE(controller->grantedURL(core::AccessRootKind::systemLibrary));
    EXPECT_EQ(controller->grantedURL(core::AccessRootKind::applications), "/Applications"_mac);
}

TEST_F(DerivedState, ListHelpersOfTheRemovalEngine)
{
    const auto app1 = item("/Applications/A.app", 1, LeftoverCategory::application);
    const auto support = item("/Library/A", 1);
    struct Case
    {
        const char* what;
        std::vector<core::LeftoverItem> items;
        std::vector<core::LeftoverItem> in;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"both empty", {}, {}, false},
        {"first empty", {}, {app1}, false},
        {"second empty", {app1}, {}, false},
        {"all found", {app1}, {support, app1}, true},
        {"one missing", {app1, support}, {app1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(UninstallViewModel::allContained(c.items, c.in), c.expected);
    }

    const auto supportAtBundlePath = item("/Applications/A.app", 1);
    EXPECT_EQ(ids(UninstallViewModel::removingAppBundle("/Applications/./A.app/"_mac,
                                                        {app1, supportAtBundlePath, support})),
              (std::vector<std::string>{"/Applications/A.app", "/Library/A"}));

    removal::UninstallOutcome outcome;
    auto adminApp = item("/Applications/B.app", 1, LeftoverCategory::application);
    adminApp.requiresAdmin = true;
    const auto notEscalatable = item("/Applications/C.app", 1, LeftoverCategory::application);
    outcome.failed = {
        {app1, "denied"}, {adminApp, "denied"}, {notEscalatable, "denied"}, {support, "denied"}};
    outcome.escalatableIDs = {app1.id(), adminApp.id(), support.id()};
    outcome.appManagementDenialIDs = {app1.id(), adminApp.id(), notEscalatable.id(), support.id()};
    EXPECT_EQ(ids(UninstallViewModel::appManagementDeniedApps(outcome)),
              std::vector<std::string>{"/Applications/A.app"});
}

TEST_F(DerivedState, SuggestedOrphansAreTheMediumItemsAdminOnesByChoice)
{
    const auto finding = [](std::string path, core::MatchConfidence confidence, bool admin) {
        scanners::OrphanFinding f;
        f.item = item(std::move(path));
        f.item.confidence = confidence;
        f.item.requiresAdmin = admin;
        return f;
    };
    scanners::OrphanGroup first{"com.example.one", "One", {}};
    first.findings = {finding("/Library/Caches/one", core::MatchConfidence::medium, false),
                      finding("/Library/Logs/one", core::MatchConfidence::low, false)};
    scanners::OrphanGroup second{"com.example.two", "Two", {}};
    second.findings = {
        finding("/Library/Application Support/two", core::MatchConfidence::medium, true)};
    EXPECT_EQ(UninstallViewModel::suggestedOrphanPaths({first, second}, false),
              IdSet{"/Library/Caches/one"});
    EXPECT_EQ(UninstallViewModel::suggestedOrphanPaths({first, second}, true),
              (IdSet{"/Library/Caches/one", "/Library/Application Support/two"}));
    EXPECT_TRUE(UninstallViewModel::suggestedOrphanPaths({}, true).empty());
}

} // namespace
} // namespace veldo::controller
