// Uninstalling a cask through brew: the token check, the command line and environment, how
// brew's output is classified, and the index cache after a run.
#include "app/leftovers/HomebrewCaskUninstall.h"

#include <chrono>
#include <cstdlib>
#include <stop_token>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/leftovers/HomebrewCaskIndex.h"
#include "app/leftovers/HomebrewCaskIndexCache.h"
#include "platform/MacFileSystem.h"
#include "tests/leftovers/CaskroomFixture.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInBrew.h"

using namespace veldo::leftovers;
using namespace veldo::leftovers::HomebrewCasks;
using namespace std::chrono_literals;
using veldo::platform::MacPath;
using veldo::testsupport::addCaskFolder;
using veldo::testsupport::addJsonCask;
using veldo::testsupport::caskJson;
using veldo::testsupport::FakeMac;
using veldo::testsupport::kCaskroom;
using veldo::testsupport::StandInBrew;
using Kind = UninstallFailure::Kind;
using Strings = std::vector<std::string>;
using namespace veldo::testsupport::literals;

namespace {

const std::string kInfoCall = "[info][--cask][--json=v2][--installed]";

std::optional<UninstallFailure> failureOf(Kind kind)
{
    return UninstallFailure::of(kind);
}

} // namespace

TEST(HomebrewCaskUninstall, TokenShape)
{
    for (const char* token :
         {"firefox", "font-fira-code", "a+b_c.d", "user/tap/foo", "7zip", "openjdk@17", "a.b", "x"})
        EXPECT_TRUE(isValidToken(token)) << token;
    for (const char* token :
         {"",       "Firefox", "fire fox",      "caf\xC3\xA9", "-rf",         "--zap",
          "a/b",    "a//b/c",  "/a/b",          "a/b/",        "user/tap/..", "user/../foo",
          ".",      "..",      "user/-tap/foo", "a/b/c/d",     "foo\n",       "foo;rm",
          "tab\tx", "a\\b",    "user/tap/"})
        EXPECT_FALSE(isValidToken(token)) << token;
}

TEST(HomebrewCaskUninstall, ArgumentVectors)
{
    EXPECT_EQ(uninstallArguments("firefox", Zap::yes),
              (Strings{"uninstall", "--cask", "--zap", "firefox"}));
    EXPECT_EQ(uninstallArguments("user/tap/foo", Zap::no),
              (Strings{"uninstall", "--cask", "user/tap/foo"}));
}

TEST(HomebrewCaskUninstall, ClassifiesBrewsOutput)
{
    const struct
    {
        const char* stdout;
        const char* stderr;
        std::int32_t code;
        bool timedOut;
        std::optional<UninstallFailure> expected;
    } cases[] = {
        {"==> Uninstalling Cask firefox\n", "", 0, false, std::nullopt},
        {"", "Sorry, try again.\n", 0, false, std::nullopt},
        {"", "", 0, true, failureOf(Kind::timedOut)},
        {"", "sudo: a password is required\n", 1, true, failureOf(Kind::timedOut)},
        {"", "sudo: a terminal is required to read the password; either use the -S option\n", 1,
         false, failureOf(Kind::needsAdministratorPassword)},
        {"", "sudo: no tty present and no askpass program specified\n", 1, false,
         failureOf(Kind::needsAdministratorPassword)},
        {"A PASSWORD IS REQUIRED", "", 1, false, failureOf(Kind::needsAdministratorPassword)},
        {"", "sudo: no askpass program specified", 1, false,
         failureOf(Kind::needsAdministratorPassword)},
        {"", "Sorry, try again.", 1, false, failureOf(Kind::needsAdministratorPassword)},
        {"", "This command must be run as root", 1, false,
         failureOf(Kind::needsAdministratorPassword)},
        {"", "sudo: unable to read password: Input/output error", 1, false,
         failureOf(Kind::needsAdministratorPassword)},
        {"", "Error: Cask 'firefox' is not installed.\n", 1, false, failureOf(Kind::notInstalled)},
        {"",
         "Error: Cask 'firefox' is not installed.\nsudo: a terminal is required to read the "
         "password\n",
         1, false, failureOf(Kind::needsAdministratorPassword)},
        {"", "Error: No such cask: nope", 1, false, failureOf(Kind::notInstalled)},
        {"", "Error: No available cask with the name \"nope\".", 1, false,
         failureOf(Kind::notInstalled)},
        {"==> Uninstalling Cask foo\n", "Warning: slow\n  Error: It seems the App is in use.  \n",
         1, false, UninstallFailure::failed("Error: It seems the App is in use.")},
        {"\n  \nERROR something broke\n", "", 2, false,
         UninstallFailure::failed("ERROR something broke")},
        {"first line\nsecond line\n", " \t\n", 1, false, UninstallFailure::failed("first line")},
        {"", "", 3, false, UninstallFailure::failed("brew uninstall failed (exit 3)")},
        {" \n\t\n", "\n", -1, false, UninstallFailure::failed("brew uninstall failed (exit -1)")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(classifyUninstall(c.stdout, c.stderr, c.code, c.timedOut), c.expected)
            << "stdout: " << c.stdout << "\nstderr: " << c.stderr;
    }
    // The kind and the message both count.
    EXPECT_NE(UninstallFailure::failed("a"), UninstallFailure::failed("b"));
    EXPECT_NE(UninstallFailure::failed(""), failureOf(Kind::notInstalled));
}

TEST(HomebrewCaskUninstall, RunsBrewAndClassifiesEachOutcome)
{
    const struct
    {
        const char* name;
        const char* mode;
        bool installed;
        Zap zap;
        std::optional<UninstallFailure> failure;
        const char* output;
        bool removed;
    } cases[] = {
        {"success", "", true, Zap::no, std::nullopt,
         "==> Uninstalling Cask firefox\n==> Removing App '/Applications/Firefox.app'\n==> "
         "Purging files for version of Cask firefox\n",
         true},
        {"success with zap", "", true, Zap::yes, std::nullopt,
         "==> Uninstalling Cask firefox\n==> Removing App '/Applications/Firefox.app'\n==> "
         "Purging files for version of Cask firefox\n",
         true},
        {"not installed", "", false, Zap::no, failureOf(Kind::notInstalled),
         "Error: Cask 'firefox' is not installed.\n", false},
        {"password", "password", true, Zap::no, failureOf(Kind::needsAdministratorPassword),
         "==> Uninstalling Cask firefox\n==> Running uninstall process for firefox; your password "
         "may be necessary\n\nsudo: a terminal is required to read the password; either use the "
         "-S option to read from standard input or configure an askpass helper\nsudo: a password "
         "is required\n",
         false},
        {"failed", "recorded", true, Zap::no,
         UninstallFailure::failed("Error: It seems there is already an App at "
                                  "'/Applications/Firefox.app'."),
         "==> Uninstalling Cask firefox\n\nError: It seems there is already an App at "
         "'/Applications/Firefox.app'.\n",
         false},
        {"timed out", "hang", true, Zap::no, failureOf(Kind::timedOut),
         "==> Uninstalling Cask firefox\n\nError: It seems there is already an App at "
         "'/Applications/Firefox.app'.\n",
         false},
    };
    for (const auto& c : cases) {
        FakeMac mac;
        StandInBrew brew(mac);
        if (c.installed) {
            addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
            mac.mkdir("/Applications/Firefox.app/Contents"_mac);
        }
        brew.setMode("uninstall", c.mode);
        brew.setOutput("uninstall", "==> Uninstalling Cask firefox\n",
                       "Error: It seems there is already an App at '/Applications/Firefox.app'.\n",
                       1);

        // A time-out a loaded machine's brew ends well within, but for the one that hangs after
        // printing.
        const auto timeout = std::string_view(c.mode) == "hang" ? 5s : 60s;
        const UninstallResult result = *uninstall("firefox", c.zap, timeout);
        EXPECT_EQ(result.token, "firefox") << c.name;
        EXPECT_EQ(result.zap, c.zap == Zap::yes) << c.name;
        EXPECT_EQ(result.failure, c.failure) << c.name;
        EXPECT_EQ(result.output, c.output) << c.name;
        EXPECT_EQ(brew.calls(), Strings{c.zap == Zap::yes ? "[uninstall][--cask][--zap][firefox]"
                                                          : "[uninstall][--cask][firefox]"})
            << c.name; // a password was never read: input is the null device
        EXPECT_EQ(!veldo::platform::exists(kCaskroom.appendingPathComponent("firefox")),
                  c.removed || !c.installed)
            << c.name;
        // brew takes the app the cask installed with it.
        EXPECT_EQ(veldo::platform::exists("/Applications/Firefox.app"_mac),
                  c.installed && !c.removed)
            << c.name;
    }
}

TEST(HomebrewCaskUninstall, BrewRunsNonInteractivelyWithoutAskpass)
{
    FakeMac mac;
    StandInBrew brew(mac);
    addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
    // NOLINTBEGIN(concurrency-mt-unsafe): single-threaded test
    ::setenv("SUDO_ASKPASS", "/usr/bin/askpass", 1);
    ::unsetenv("NONINTERACTIVE");
    const UninstallResult result = *uninstall("firefox", Zap::no);
    ::unsetenv("SUDO_ASKPASS");
    // NOLINTEND(concurrency-mt-unsafe)
    EXPECT_FALSE(result.failure.has_value()) << result.output;
    EXPECT_EQ(brew.environments(),
              Strings{"HOMEBREW_NO_AUTO_UPDATE=1 HOMEBREW_NO_ENV_HINTS=1 "
                      "HOMEBREW_NO_INSTALL_CLEANUP=1 NONINTERACTIVE=1 SUDO_ASKPASS=unset"});
}

TEST(HomebrewCaskUninstall, RefusedTokensNeverReachBrew)
{
    FakeMac mac;
    StandInBrew brew(mac);
    addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
    ASSERT_FALSE(loadIndex(false).value().empty());
    const auto signature = IndexCache::shared().signature();

    for (const char* token : {"--force", "firefox --zap", "../firefox", "a/b", "Firefox"}) {
        const UninstallResult result = *uninstall(token, Zap::yes);
        EXPECT_EQ(result, (UninstallResult{token, true, "", failureOf(Kind::invalidToken)}));
    }
    EXPECT_TRUE(brew.calls().empty());
    EXPECT_EQ(IndexCache::shared().signature(), signature);
    EXPECT_TRUE(veldo::platform::exists(kCaskroom.appendingPathComponent("firefox")));
}

TEST(HomebrewCaskUninstall, MissingBrewAndBrewThatCannotStart)
{
    FakeMac mac;
    addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
    mac.mkdir("/opt/homebrew/bin"_mac);
    EXPECT_EQ(*uninstall("firefox", Zap::no),
              (UninstallResult{"firefox", false, "", failureOf(Kind::brewNotFound)}));

    // A brew whose interpreter is missing is found but cannot start; the cache is still dropped.
    mac.write("/opt/homebrew/bin/brew"_mac, "#!/nonexistent/interpreter\n", 0755);
    IndexCache::shared().store("signature", {{"Firefox.app", CaskInfo{}}});
    EXPECT_EQ(*uninstall("firefox", Zap::no),
              (UninstallResult{"firefox", false, "", failureOf(Kind::couldNotRun)}));
    EXPECT_FALSE(IndexCache::shared().signature().has_value());
    EXPECT_TRUE(IndexCache::shared().indexFor("signature") == std::nullopt);
}

TEST(HomebrewCaskUninstall, IndexIsRebuiltAfterAnyUninstall)
{
    FakeMac mac;
    StandInBrew brew(mac);
    addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
    addCaskFolder(mac, "bare", "1");
    brew.setOutput("info", R"({"casks":[{"token":"bare","artifacts":[{"app":["Bare.app"]}]}]})");
    ASSERT_EQ(loadIndex(false).value().size(), 2u);
    ASSERT_EQ(brew.calls(), Strings{kInfoCall});

    // A failed uninstall changes nothing in the Caskroom, yet the next load reads it again.
    brew.setMode("uninstall", "recorded");
    brew.setOutput("uninstall", "", "Error: something went wrong\n", 1);
    EXPECT_EQ(uninstall("bare", Zap::no)->failure,
              UninstallFailure::failed("Error: something went wrong"));
    EXPECT_FALSE(IndexCache::shared().signature().has_value());
    EXPECT_EQ(loadIndex(false).value().size(), 2u);
    EXPECT_EQ(brew.calls().size(), 3u); // info, uninstall, info

    // A successful one removes the cask, and its app leaves the index.
    brew.setMode("uninstall", "");
    EXPECT_FALSE(uninstall("firefox", Zap::yes)->failure.has_value());
    const CaskIndex after = loadIndex(false).value();
    EXPECT_FALSE(after.contains("Firefox.app"));
    EXPECT_TRUE(after.contains("Bare.app"));
    EXPECT_EQ(brew.calls().back(), kInfoCall);
    EXPECT_EQ(brew.calls().size(), 5u);
}

TEST(HomebrewCaskUninstall, AStopEndsBrewAndAnswersCancelled)
{
    // A brew that ends at SIGTERM, and one that ignores it and is killed after the grace the
    // call was given. The margin a loaded machine needs to reap a child stays below the grace,
    // so the two cannot be taken for each other.
    veldo::core::CommandRunner::RunOptions options;
    options.terminateGrace = 500ms;
    options.outputDrainWait = 200ms;
    constexpr auto kMargin = 400ms;
    struct Case
    {
        const char* mode;
        std::chrono::milliseconds extraWait;
    };
    for (const Case& c : {Case{"hang", 0ms}, Case{"stubborn", options.terminateGrace}}) {
        FakeMac mac;
        StandInBrew brew(mac);
        addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
        brew.setMode("uninstall", c.mode);
        IndexCache::shared().store("signature", {{"Firefox.app", CaskInfo{}}});

        std::stop_source source;
        std::chrono::steady_clock::time_point requestedAt;
        std::thread stopper([&] {
            while (!brew.hanging("uninstall"))
                std::this_thread::sleep_for(10ms);
            requestedAt = std::chrono::steady_clock::now();
            source.request_stop();
        });
        const auto result =
            uninstall("firefox", Zap::no, kUninstallTimeout, options, source.get_token());
        const auto returnedAt = std::chrono::steady_clock::now();
        stopper.join();
        ASSERT_FALSE(result.has_value()) << c.mode;
        EXPECT_EQ(result.error().code, veldo::ErrorCode::cancelled) << c.mode;
        EXPECT_GE(returnedAt - requestedAt, c.extraWait) << c.mode;
        EXPECT_LT(returnedAt - requestedAt, c.extraWait + kMargin) << c.mode;
        // brew may have changed the Caskroom before it stopped.
        EXPECT_FALSE(IndexCache::shared().signature().has_value()) << c.mode;
    }
}
