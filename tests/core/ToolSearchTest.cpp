// Finding command-line tools: the login shell's PATH, version-manager folders, usable folders,
// lookup order, Apple's placeholder tools and the Command Line Tools answer, in a fake Mac.
#include <algorithm>
#include <chrono>
#include <set>
#include <stop_token>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/core/CommandRunner.h"
#include "platform/MacRoot.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/ResultAssertions.h"
#include "tests/support/SlowLoginShell.h"

using namespace veldo::core;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::SlowLoginShell;
using Paths = std::vector<MacPath>;
using namespace veldo::testsupport::literals;

namespace {

constexpr const char* kTool = "#!/bin/sh\necho tool\n";

bool contains(const Paths& paths, const MacPath& p)
{
    return std::find(paths.begin(), paths.end(), p) != paths.end();
}

} // namespace

TEST(ToolSearch, LoginShellOutputBetweenTheFirstTwoMarkers)
{
    using veldo::platform::HostPath;
    const struct
    {
        const char* output;
        std::vector<HostPath> expected;
    } cases[] = {
        {"__VELDO_PATH__/a/bin:/b::/c/__VELDO_PATH__",
         {HostPath("/a/bin"), HostPath("/b"), HostPath("/c/")}},
        {"Welcome!\n__VELDO_PATH__/x__VELDO_PATH__", {HostPath("/x")}},
        {"__VELDO_PATH__/x__VELDO_PATH__/y__VELDO_PATH__", {HostPath("/x")}},
        {"noise __VELDO_PATH__/x:/y", {}},
        {"__VELDO_PATH____VELDO_PATH__", {}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommandRunner::parseLoginShellPath(c.output), c.expected) << c.output;
}

TEST(ToolSearch, LoginShellReportsItsPath)
{
    const std::string shell = CommandRunner::loginShell().string();
    ASSERT_FALSE(shell.empty());
    EXPECT_EQ(shell.front(), '/');
    if (::access(shell.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no usable login shell on this host";
    // Whatever the shell's start-up files do, an interactive login shell has a PATH.
    EXPECT_FALSE(CommandRunner::loginShellPath().empty());
}

TEST(ToolSearch, AStopHangsUpTheLoginShell)
{
    FakeMac mac;
    const SlowLoginShell shell(mac);
    if (CommandRunner::loginShell().string() != "/bin/sh")
        GTEST_SKIP() << "/etc/shells does not allow /bin/sh";
    std::stop_source stop;
    std::jthread quitter([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(CommandRunner::loginShellPath(stop.get_token()).empty());
    // The interactive shell ignores SIGTERM: had it not been hung up, SIGKILL would have ended it
    // only after the whole grace.
    EXPECT_LT(std::chrono::steady_clock::now() - started, CommandRunner::kTerminateGrace);
}

TEST(ToolSearch, NumericOrderTakesDigitRunsAsNumbers)
{
    EXPECT_LT(CommandRunner::compareNumerically("v9.11.2", "v20.1.0"), 0);
    EXPECT_GT(CommandRunner::compareNumerically("v180.1.0", "v18.20.4"), 0);
    EXPECT_GT(CommandRunner::compareNumerically("v18.20.4", "v18.19.0"), 0);
    EXPECT_EQ(CommandRunner::compareNumerically("v018.1", "v18.1"), 0);
    EXPECT_LT(CommandRunner::compareNumerically("v18", "v18.0"), 0);
    EXPECT_LT(CommandRunner::compareNumerically("a", "b"), 0);
    EXPECT_EQ(CommandRunner::compareNumerically("", ""), 0);
}

TEST(ToolSearch, NvmVersionChoice)
{
    const struct
    {
        std::optional<std::string> alias;
        std::vector<std::string> versions;
        std::optional<std::string> chosen;
    } cases[] = {
        {"18\n", {"v18.19.0", "v18.20.4", "v180.1.0"}, "v18.20.4"},
        {"v18.19.0", {"v18.19.0", "v18.20.4", "v180.1.0"}, "v18.19.0"},
        {"  20 ", {"v18.19.0", "v18.20.4", "v180.1.0"}, "v180.1.0"},
        {"lts/iron", {"v18.19.0", "v20.1.0"}, "v20.1.0"},
        {std::nullopt, {"v9.11.2", "v20.1.0", "v18.20.4"}, "v20.1.0"},
        {std::string("\xff\xfe"), {"v9.11.2", "v20.1.0"}, "v20.1.0"},
        {"18", {"18.0.0", "system"}, std::nullopt},
        {"18", {}, std::nullopt},
    };
    for (const auto& c : cases) {
        FakeMac mac;
        const MacPath home = mac.home();
        for (const auto& v : c.versions)
            mac.mkdir(home.appendingPathComponent(".nvm/versions/node/" + v + "/bin"));
        if (c.alias)
            mac.write(home.appendingPathComponent(".nvm/alias/default"), *c.alias);
        const auto got = CommandRunner::nvmNodeBinDirectory(home);
        if (c.chosen) {
            EXPECT_EQ(got, home.appendingPathComponent(".nvm/versions/node/" + *c.chosen + "/bin"))
                << c.alias.value_or("(no alias)");
        } else {
            EXPECT_FALSE(got.has_value());
        }
    }
}

TEST(ToolSearch, VersionManagerFoldersInOrder)
{
    FakeMac mac;
    const MacPath home = mac.home();
    mac.mkdir(home.appendingPathComponent(".nvm/versions/node/v20.1.0/bin"));
    Paths expected{home.appendingPathComponent(".nvm/versions/node/v20.1.0/bin")};
    for (const char* sub : {".pyenv/shims", ".rbenv/shims", ".asdf/shims",
                            ".local/share/mise/shims", ".volta/bin", ".local/bin"})
        expected.push_back(home.appendingPathComponent(sub));
    EXPECT_EQ(CommandRunner::versionManagerDirectories(home), expected);
}

TEST(ToolSearch, UsableDirectories)
{
    FakeMac mac;
    mac.mkdir("/opt/homebrew/bin"_mac);
    mac.mkdir("/opt/shared-bin"_mac, 0777);
    mac.mkdir("/opt/real-bin"_mac);
    mac.symlink("/opt/linked-bin"_mac, "/opt/real-bin");
    mac.write("/opt/a-file"_mac, "x");
    const Paths in{"/usr/local/bin/"_mac,
                   "/"_mac,
                   MacPath("relative/bin"),
                   MacPath("~/bin"),
                   MacPath(),
                   "/opt/shared-bin"_mac,
                   "/opt/homebrew/bin"_mac,
                   "/usr/local/bin"_mac,
                   "/opt/missing"_mac,
                   "/opt/a-file"_mac,
                   "/opt/linked-bin"_mac,
                   "/usr/bin//"_mac};
    // "/usr/bin//" loses one slash only, and stays distinct from "/usr/bin".
    EXPECT_EQ(CommandRunner::usableDirectories(in),
              (Paths{"/usr/local/bin"_mac, "/"_mac, "/opt/homebrew/bin"_mac, "/opt/linked-bin"_mac,
                     "/usr/bin/"_mac}));
}

TEST(ToolSearch, WhichTakesTheFirstUsableFolderInSearchOrder)
{
    FakeMac mac;
    const MacPath home = mac.home();
    mac.write("/opt/homebrew/bin/brew"_mac, kTool, 0755);
    mac.write("/usr/local/bin/brew"_mac, kTool, 0755);
    const Paths path = CommandRunner::composeSearchPath({}, home, "");
    EXPECT_EQ(CommandRunner::which("brew", path, true), MacPath("/opt/homebrew/bin/brew"));

    // What the login shell reports comes first.
    const Paths shellFirst = CommandRunner::composeSearchPath({"/usr/local/bin"_mac}, home, "");
    EXPECT_EQ(CommandRunner::which("brew", shellFirst, true), MacPath("/usr/local/bin/brew"));

    // Not executable, writable by others, or a folder: passed over.
    for (mode_t mode : {mode_t{0644}, mode_t{0757}}) {
        ::chmod(mac.host("/opt/homebrew/bin/brew"_mac).c_str(), mode);
        EXPECT_EQ(CommandRunner::which("brew", path, true), MacPath("/usr/local/bin/brew"));
    }
    ::unlink(mac.host("/opt/homebrew/bin/brew"_mac).c_str());
    mac.mkdir("/opt/homebrew/bin/brew"_mac);
    EXPECT_EQ(CommandRunner::which("brew", path, true), MacPath("/usr/local/bin/brew"));

    EXPECT_FALSE(CommandRunner::which("", path, true).has_value());
    EXPECT_FALSE(CommandRunner::which("bin/brew", path, true).has_value());
    EXPECT_FALSE(CommandRunner::which("no-such-tool", path, true).has_value());
}

TEST(ToolSearch, AStoppedFirstLookupFailsAndKeepsNothing)
{
    FakeMac mac; // a new root: the search path is looked up afresh
    mac.mkdir("/opt/homebrew/bin"_mac);
    std::stop_source stopped;
    stopped.request_stop();
    const auto cancelled = CommandRunner::searchPath(stopped.get_token());
    ASSERT_FALSE(cancelled.has_value());
    EXPECT_EQ(cancelled.error().code, veldo::ErrorCode::cancelled);
    // The next lookup runs in full.
    const auto path = CommandRunner::searchPath();
    ASSERT_OK(path);
    EXPECT_TRUE(contains(*path, "/opt/homebrew/bin"_mac));
    // Once known, the path is answered even to a stopped caller.
    EXPECT_EQ(CommandRunner::searchPath(stopped.get_token()).value(), *path);
}

TEST(ToolSearch, SearchPathFollowsTheMacRoot)
{
    {
        FakeMac mac;
        mac.mkdir("/opt/homebrew/bin"_mac);
        mac.mkdir(mac.home().appendingPathComponent(".volta/bin"));
        const Paths path = CommandRunner::searchPath().value();
        EXPECT_TRUE(contains(path, "/opt/homebrew/bin"_mac));
        EXPECT_TRUE(contains(path, mac.home().appendingPathComponent(".volta/bin")));
        EXPECT_TRUE(contains(path, "/usr/bin"_mac));
        EXPECT_EQ(std::set<MacPath>(path.begin(), path.end()).size(), path.size());
        for (const auto& p : path)
            EXPECT_TRUE(p.isAbsolute()) << p.path();

        // The child's PATH: the search path as host folders, then the app's own PATH.
        const std::string child = CommandRunner::childSearchPath(
            {"/opt/homebrew/bin"_mac, "/usr/bin"_mac}, "/usr/bin:rel::/bin");
        EXPECT_EQ(child, mac.root() + "/opt/homebrew/bin:" + mac.root() + "/usr/bin:/usr/bin:/bin");
    }
    FakeMac other;
    EXPECT_FALSE(contains(*CommandRunner::searchPath(), "/opt/homebrew/bin"_mac));
    // With an empty root the child's PATH is the search path itself.
    veldo::platform::testing::setMacRoot("");
    EXPECT_EQ(CommandRunner::childSearchPath({"/usr/bin"_mac, "/bin"_mac}, "/sbin"),
              "/usr/bin:/bin");
    veldo::platform::testing::setMacRoot(other.root());
}

TEST(ToolSearch, PlaceholderToolsAreSkippedWithoutCommandLineTools)
{
    FakeMac mac;
    mac.write("/usr/bin/python3"_mac, kTool, 0755);
    mac.write("/usr/bin/git"_mac, kTool, 0755);
    mac.hardlink("/usr/bin/python3"_mac, "/usr/bin/xcrun"_mac);
    mac.write("/usr/bin/ls"_mac, kTool, 0755);
    mac.write("/usr/local/bin/git"_mac, kTool, 0755);

    const Paths usrBin{"/usr/bin"_mac};
    for (const char* name : {"git", "python3", "xcrun"}) {
        EXPECT_FALSE(CommandRunner::which(name, usrBin, false).has_value()) << name;
        EXPECT_EQ(CommandRunner::which(name, usrBin, true),
                  MacPath("/usr/bin").appendingPathComponent(name));
    }
    EXPECT_EQ(CommandRunner::which("ls", usrBin, false), MacPath("/usr/bin/ls"));
    EXPECT_EQ(CommandRunner::which("git", Paths{"/usr/bin"_mac, "/usr/local/bin"_mac}, false),
              MacPath("/usr/local/bin/git"));
    EXPECT_FALSE(CommandRunner::isAppleStub("/usr/local/bin/git"_mac));
    EXPECT_TRUE(CommandRunner::isAppleStub("/usr//bin/git"_mac));
}

TEST(ToolSearch, CommandLineToolsAnswer)
{
    // On the Linux host itself the tools in /usr/bin are real.
    EXPECT_TRUE(CommandRunner::commandLineToolsInstalled());

    const struct
    {
        const char* what;
        bool toolsFolder;
        const char* xcodeSelect; // script body, or null for no xcode-select
        bool expected;
    } cases[] = {
        {"nothing", false, nullptr, false},
        {"tools folder", true, nullptr, true},
        {"xcode-select names an existing folder", false,
         "echo /Applications/Xcode.app/Contents/Developer", true},
        {"xcode-select names a missing folder", false, "echo /Library/Developer/Gone", false},
        {"xcode-select prints nothing", false, "echo '  '", false},
        {"xcode-select fails", false, "echo /Applications/Xcode.app/Contents/Developer; exit 2",
         false},
    };
    for (const auto& c : cases) {
        FakeMac mac;
        mac.mkdir("/Applications/Xcode.app/Contents/Developer"_mac);
        if (c.toolsFolder)
            mac.mkdir("/Library/Developer/CommandLineTools/usr/bin"_mac);
        if (c.xcodeSelect)
            mac.write("/usr/bin/xcode-select"_mac,
                      std::string("#!/bin/sh\n") + c.xcodeSelect + "\n", 0755);
        EXPECT_EQ(CommandRunner::commandLineToolsInstalled(), c.expected) << c.what;
    }
}
