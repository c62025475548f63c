// The demo Mac generator: what the scanners find in it, and which folders it refuses or replaces.
#include "demo/DemoMac.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QGuiApplication>

#include "app/core/CommandRunner.h"
#include "app/core/InstalledAppInventory.h"
#include "app/core/RunningAppStatus.h"
#include "app/leftovers/HomebrewCaskIndex.h"
#include "app/leftovers/HomebrewCaskRecords.h"
#include "app/leftovers/HomebrewCaskUninstall.h"
#include "app/leftovers/LeftoverScanner.h"
#include "app/scanners/OrphanScanner.h"
#include "app/scanners/PackageRemover.h"
#include "app/scanners/PackageScanner.h"
#include "app/scanners/ToolchainScanner.h"
#include "base/RawValue.h"
#include "base/ScopeGuard.h"
#include "platform/ApplicationRegistry.h"
#include "platform/Home.h"
#include "platform/MacRoot.h"
#include "tests/support/StandInScript.h"
#include "tests/support/Unprivileged.h"

namespace {

namespace fs = std::filesystem;
using namespace veldo;
using demo::DemoOptions;

// A fresh temporary folder, removed with everything in it.
class TempFolder
{
public:
    TempFolder()
    {
        std::string tmpl = (fs::temp_directory_path() / "veldo-demo-test-XXXXXX").string();
        m_path = ::mkdtemp(tmpl.data());
    }
    ~TempFolder()
    {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(m_path, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec))
                ::chmod(it->path().c_str(), 0755);
        }
        fs::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

std::string login()
{
    const passwd* self = ::getpwuid(::getuid());
    return self ? self->pw_name : "root";
}

// The latest modification time of `host` and, for a folder, of everything inside it.
time_t newestChange(const std::string& host)
{
    struct stat st
    {
    };
    if (::lstat(host.c_str(), &st) != 0)
        return 0;
    time_t newest = st.st_mtime;
    std::error_code ec;
    if (S_ISDIR(st.st_mode)) {
        for (auto it = fs::recursive_directory_iterator(host, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (::lstat(it->path().c_str(), &st) == 0)
                newest = std::max(newest, st.st_mtime);
        }
    }
    return newest;
}

DemoOptions optionsFor(const std::string& root)
{
    DemoOptions options;
    options.root = root;
    options.login = login();
    options.standInsFolder = VELDO_STAND_INS_DIR;
    options.appProgram = VELDO_DEMO_APP_PROGRAM;
    return options;
}

// The four folders Veldo reads, as the controller builds them.
std::vector<core::ScopedAccessRoot> accessRoots()
{
    const platform::MacPath home = platform::homeDirectory();
    return {{core::AccessRootKind::applications, platform::MacPath("/Applications")},
            {core::AccessRootKind::userApplications, home.appendingPathComponent("Applications")},
            {core::AccessRootKind::userLibrary, home.appendingPathComponent("Library")},
            {core::AccessRootKind::systemLibrary, platform::MacPath("/Library")}};
}

// The generated demo, installed as the Mac root for the test, with VELDO_MAC_ROOT set for the
// stand-in tools.
class DemoMacTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_root = m_folder.path() + "/mac";
        m_started = ::time(nullptr);
        const auto made = demo::generateDemoMac(optionsFor(m_root));
        ASSERT_TRUE(made.has_value()) << demo::failureSentence(made.error());
        m_summary = *made;
        platform::testing::setMacRoot(m_root);
        m_variable.emplace(m_root);
    }
    void TearDown() override
    {
        m_variable.reset();
        platform::testing::setMacRoot("");
    }

    TempFolder m_folder;
    std::string m_root;
    demo::DemoSummary m_summary;
    time_t m_started = 0;
    std::optional<testsupport::MacRootVariable> m_variable;
};

TEST_F(DemoMacTest, TheScannersFindWhatTheDemoHolds)
{
    // Every demo app is listed, Veldo included.
    const std::vector<core::ScopedAccessRoot> roots = accessRoots();
    const auto apps = core::InstalledAppInventory::scan(roots, true);
    ASSERT_TRUE(apps.has_value());
    std::set<std::string> listed;
    for (const auto& app : *apps)
        listed.insert(app.url.path());
    for (const auto& path : demo::demoAppPaths(login()))
        EXPECT_TRUE(listed.contains(path)) << path;

    // Every planted leftover is found by the scan of its app, every leftover category is found
    // for some app, and not every match is certain. Each item is dated back (as the app's last
    // use), not made just now.
    std::map<std::string, std::set<std::string>> foundFor; // app bundle → item paths
    std::set<core::LeftoverCategory> categories;
    std::set<core::MatchConfidence> confidences;
    for (const auto& app : *apps) {
        const auto items = leftovers::LeftoverScanner::scan(
            app, roots, leftovers::LeftoverScanner::darwinUserDirectories(),
            [](const core::InstalledApp& a, std::stop_token stop) {
                return leftovers::LeftoverScanner::receiptLeftovers(a, stop);
            },
            platform::systemApplicationRegistry());
        ASSERT_TRUE(items.has_value()) << app.name;
        for (const auto& item : *items) {
            foundFor[app.url.path()].insert(item.url.path());
            categories.insert(item.category);
            confidences.insert(item.confidence);
            if (item.category != core::LeftoverCategory::application) {
                EXPECT_LT(newestChange(m_root + item.url.path()), m_started) << item.url.path();
            }
        }
    }
    ASSERT_FALSE(m_summary.leftovers.empty());
    for (const auto& planted : m_summary.leftovers)
        EXPECT_TRUE(foundFor[planted.app].contains(planted.path))
            << planted.path << " of " << planted.app;
    // (A receipt leads to the files it names, in their own categories: no scan gives the
    // receipts category itself.)
    for (const auto category : base::allCases<core::LeftoverCategory>()) {
        if (category != core::LeftoverCategory::receipts) {
            EXPECT_TRUE(categories.contains(category)) << base::rawValue(category);
        }
    }
    EXPECT_TRUE(confidences.contains(core::MatchConfidence::medium));
    EXPECT_TRUE(confidences.contains(core::MatchConfidence::low));

    // Every orphan of the two former apps is found, each former app a group of its own.
    const auto orphans = scanners::OrphanScanner::scan(*apps);
    std::set<std::string> orphanPaths;
    for (const auto& item : scanners::OrphanGroup::allItems(orphans.groups))
        orphanPaths.insert(item.url.path());
    ASSERT_FALSE(m_summary.orphans.empty());
    for (const auto& planted : m_summary.orphans)
        EXPECT_TRUE(orphanPaths.contains(planted)) << planted;
    EXPECT_EQ(orphans.groups.size(), 2u);

    // Every developer cache lies in a location the toolchain scan measures.
    const auto groups = scanners::ToolchainScanner::scan(platform::homeDirectory());
    ASSERT_FALSE(m_summary.developerCaches.empty());
    for (const auto& planted : m_summary.developerCaches) {
        bool measured = false;
        for (const auto& group : groups) {
            for (const auto& item : group.items) {
                const std::string location = item.url.path();
                measured = measured || planted == location || planted.starts_with(location + "/");
            }
        }
        EXPECT_TRUE(measured) << planted;
    }
}

TEST_F(DemoMacTest, AStartedDemoAppRunsUntilItIsAskedToQuit)
{
    const auto apps = core::InstalledAppInventory::scan(accessRoots(), true);
    ASSERT_TRUE(apps.has_value());
    const auto mail = std::ranges::find_if(
        *apps, [](const core::InstalledApp& app) { return app.name == "Tidewater Mail"; });
    ASSERT_NE(mail, apps->end());
    EXPECT_EQ(core::runningStatus(*mail), core::RunningAppStatus::notRunning);

    // Started as scripts/run-demo starts it: the bundle's own executable.
    const std::string executable = m_root + mail->url.path() + "/Contents/MacOS/Tidewater Mail";
    std::string name = "Tidewater Mail";
    char* argv[] = {name.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, executable.c_str(), nullptr, nullptr, argv, environ), 0);
    const base::ScopeGuard reap([&] {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    });

    const core::RunningAppStatus running = core::runningStatus(*mail);
    ASSERT_TRUE(running.isRunning);
    EXPECT_EQ(running.processIdentifier, pid);

    // Veldo's quit request (SIGTERM) ends it at once, as a quitting app does.
    EXPECT_TRUE(core::requestQuit(*mail));
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 100 && ended == 0; ++i) {
        ::usleep(20'000);
        ended = ::waitpid(pid, &status, WNOHANG);
    }
    ASSERT_EQ(ended, pid) << "still running after 2 s";
    pid = 0;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "wait status " << status;
    EXPECT_EQ(core::runningStatus(*mail), core::RunningAppStatus::notRunning);
}

TEST_F(DemoMacTest, OnlyTheStandInToolsAreReachable)
{
    const auto path = core::CommandRunner::searchPath();
    ASSERT_TRUE(path.has_value());
    const auto brew = core::CommandRunner::which("brew", *path, false);
    ASSERT_TRUE(brew.has_value());
    const auto listing = core::CommandRunner::run(*brew, {"list", "--cask"},
                                                  core::CommandRunner::processEnvironment(),
                                                  std::chrono::seconds(10));
    ASSERT_TRUE(listing.has_value());
    EXPECT_EQ(listing->stdout, "kestrel\norbit-browser\n");
    for (const char* tool : {"npm", "pip", "pip3", "gem", "python3", "apt", "dpkg"})
        EXPECT_FALSE(core::CommandRunner::which(tool, *path, false).has_value()) << tool;
}

TEST_F(DemoMacTest, BrewUninstallsFormulaeAndCasksAndListsWhatIsLeft)
{
    // What the Packages tab lists: every formula and cask with its version.
    const auto listed = [] {
        std::vector<std::string> names;
        for (const auto& group : scanners::PackageScanner::scanPackages())
            for (const auto& package : group.packages)
                names.push_back(std::string(base::rawValue(group.manager)) + " " + package.name +
                                " " + package.version);
        std::sort(names.begin(), names.end());
        return names;
    };
    ASSERT_EQ(listed(),
              (std::vector<std::string>{"brewCask kestrel 3.0.20", "brewCask orbit-browser 118.0.2",
                                        "brewFormula jq 1.7.1", "brewFormula ripgrep 14.1.0",
                                        "brewFormula wget 1.24.5"}));

    // A formula uninstalled from the Packages tab, a cask from the Homebrew sheet (its app goes
    // with it).
    const core::DevPackage jq{core::PackageManagerKind::brewFormula, "jq", "1.7.1", 0};
    const auto removed = scanners::PackageRemover::removePackages({jq});
    EXPECT_EQ(removed.removed, std::vector<core::DevPackage>{jq});
    EXPECT_TRUE(removed.failureLines().empty()) << removed.failureLines().front();
    ASSERT_TRUE(fs::is_directory(m_root + "/Applications/Kestrel Video.app"));
    const auto cask =
        leftovers::HomebrewCasks::uninstall("kestrel", leftovers::HomebrewCasks::Zap::no);
    ASSERT_TRUE(cask.has_value());
    EXPECT_FALSE(cask->failure.has_value()) << cask->output;
    EXPECT_FALSE(fs::exists(m_root + "/Applications/Kestrel Video.app"));
    EXPECT_TRUE(fs::is_directory(m_root + "/Applications/Orbit Browser.app"));

    // Both are gone from every listing, and from what brew itself reports.
    EXPECT_EQ(listed(),
              (std::vector<std::string>{"brewCask orbit-browser 118.0.2",
                                        "brewFormula ripgrep 14.1.0", "brewFormula wget 1.24.5"}));
    const auto index = leftovers::HomebrewCasks::loadIndex(true);
    ASSERT_TRUE(index.has_value());
    EXPECT_FALSE(index->contains("Kestrel Video.app"));
    EXPECT_TRUE(index->contains("Orbit Browser.app"));
    const auto path = core::CommandRunner::searchPath();
    ASSERT_TRUE(path.has_value());
    const auto brew = core::CommandRunner::which("brew", *path, false);
    ASSERT_TRUE(brew.has_value());
    const auto info = core::CommandRunner::run(
        *brew, {"info", "--cask", "--json=v2", "--installed"},
        core::CommandRunner::processEnvironment(), std::chrono::seconds(10));
    ASSERT_TRUE(info.has_value());
    const auto reported = leftovers::HomebrewCasks::parseInstalledCasks(info->stdout);
    ASSERT_EQ(reported.size(), 1u) << info->stdout;
    EXPECT_EQ(reported[0].token, "orbit-browser");
    EXPECT_EQ(reported[0].appNames, std::vector<std::string>{"Orbit Browser.app"});
}

TEST(DemoMacFolders, RefusesWhatIsNotAnEmptyFolderOrAnEarlierDemo)
{
    TempFolder folder;
    const std::string base = folder.path();
    std::ofstream(base + "/file") << "x";
    fs::create_directory(base + "/real");
    fs::create_directory_symlink(base + "/real", base + "/link");
    fs::create_directories(base + "/full/stuff");
    fs::create_directories(base + "/linked-marker");
    fs::create_symlink(base + "/file", base + "/linked-marker/" + demo::kDemoMarkerName);
    fs::create_directories(base + "/folder-marker/" + demo::kDemoMarkerName);
    fs::create_directories(base + "/empty");

    const struct
    {
        std::string root;
        bool refused;
    } cases[] = {
        {base + "/file", true},   {base + "/link", true},          {"/", true},
        {base + "/full", true},   {base + "/linked-marker", true}, {base + "/folder-marker", true},
        {base + "/empty", false}, {base + "/missing", false},      {base + "/no/such/parent", true},
    };
    for (const auto& c : cases) {
        const auto refusal = demo::refusalFor(c.root);
        EXPECT_EQ(refusal.has_value(), c.refused) << c.root;
        if (refusal) {
            EXPECT_EQ(refusal->back(), '.') << *refusal; // a sentence
        }
    }
}

TEST(DemoMacFolders, AnUnwritableFolderIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    TempFolder folder;
    ::chmod(folder.path().c_str(), 0755);
    const std::string root = folder.path() + "/closed";
    fs::create_directory(root);
    ::chmod(root.c_str(), 0755);
    const int refused =
        testsupport::runUnprivileged([&] { return demo::refusalFor(root).has_value() ? 0 : 1; });
    EXPECT_EQ(refused, 0);
}

TEST(DemoMacFolders, ARerunReplacesAnEarlierDemoWithoutFollowingLinks)
{
    TempFolder folder;
    const std::string root = folder.path() + "/mac";
    const std::string outside = folder.path() + "/outside";
    fs::create_directory(outside);
    std::ofstream(outside + "/keep") << "precious";

    ASSERT_TRUE(demo::generateDemoMac(optionsFor(root)).has_value());
    // The earlier demo has folders its generator closed, and a link planted out of it.
    struct stat st
    {
    };
    ASSERT_EQ(::stat((root + "/Library/LaunchDaemons").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0555u);
    fs::create_directory_symlink(outside, root + "/Library/LaunchDaemons/escape");
    ::chmod((root + "/Users").c_str(), 0500);

    ASSERT_FALSE(demo::refusalFor(root).has_value());
    ASSERT_TRUE(demo::removeEarlierDemo(root).has_value());
    EXPECT_TRUE(fs::is_empty(root));
    EXPECT_TRUE(fs::exists(outside + "/keep"));
    ASSERT_TRUE(demo::generateDemoMac(optionsFor(root)).has_value());
    std::ifstream marker(root + "/" + demo::kDemoMarkerName);
    std::string text;
    std::getline(marker, text);
    EXPECT_EQ(text, "veldo demo Mac, complete (format 2)");
}

TEST(DemoMacFolders, AFailedRunLeavesAMarkerThatSaysSo)
{
    // A file where a system folder should go stops the run halfway, as a full disk would.
    TempFolder folder;
    const std::string root = folder.path() + "/mac";
    fs::create_directory(root);
    std::ofstream(root + "/Applications") << "in the way";
    std::ofstream(root + "/" + demo::kDemoMarkerName) << "veldo demo Mac, complete\n";

    const auto made = demo::generateDemoMac(optionsFor(root));
    ASSERT_FALSE(made.has_value());
    EXPECT_NE(demo::failureSentence(made.error()).find("could not be made"), std::string::npos);
    std::ifstream marker(root + "/" + demo::kDemoMarkerName);
    std::string text;
    std::getline(marker, text);
    EXPECT_EQ(text, "veldo demo Mac, being made");
    // The next run recognises it and starts over.
    EXPECT_FALSE(demo::refusalFor(root).has_value());
    base::Error full{base::ErrorCode::ioFailure, ENOSPC, root};
    EXPECT_EQ(demo::failureSentence(full),
              "The disk is full: the demo Mac could not be finished (a rerun starts over once "
              "there is room).");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
