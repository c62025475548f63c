// The administrator script's text, the osascript program and launch, and the reading of the
// marker lines: pure functions, with an empty Mac root unless a test makes a fake Mac.
#include "app/removal/AdminScriptRunner.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/MacRoot.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

namespace AdminRemover = veldo::removal::AdminRemover;
using AdminRemover::ScriptOutcome;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

namespace {

constexpr const char* kDidNotRun = "The administrator command didn't run.";

ScriptOutcome outcome(std::set<std::int64_t> succeeded, std::set<std::int64_t> failed,
                      std::map<std::int64_t, std::string> held = {}, bool cancelled = false,
                      std::optional<std::string> message = std::nullopt)
{
    return ScriptOutcome{std::move(succeeded), std::move(failed), std::move(held), cancelled,
                         std::move(message)};
}

} // namespace

TEST(AdminScriptText, ResultClauseJoinAndClosingExit)
{
    EXPECT_EQ(AdminRemover::resultClause(3),
              "/bin/rmdir \"$S\" 2>/dev/null || echo \"VELDO-HELD-3 $S\"; exit 1 ) && echo "
              "VELDO-OK-3 || echo VELDO-FAIL-3");
    EXPECT_EQ(AdminRemover::resultClause(0),
              "/bin/rmdir \"$S\" 2>/dev/null || echo \"VELDO-HELD-0 $S\"; exit 1 ) && echo "
              "VELDO-OK-0 || echo VELDO-FAIL-0");
    EXPECT_EQ(AdminRemover::resultClause(1024),
              "/bin/rmdir \"$S\" 2>/dev/null || echo \"VELDO-HELD-1024 $S\"; exit 1 ) && echo "
              "VELDO-OK-1024 || echo VELDO-FAIL-1024");

    EXPECT_EQ(AdminRemover::scriptText({"( a"}), "( a; exit 0");
    EXPECT_EQ(AdminRemover::scriptText({"( a", "( b", "( c"}), "( a; ( b; ( c; exit 0");
}

TEST(AdminScriptText, ProgramEscapesBackslashesBeforeQuotes)
{
    // A backslash before a quote: escaping quotes first would leave "\\"" (an unescaped quote).
    const auto program =
        AdminRemover::makeOsascriptProgram("echo \"a\\\"b\" \\n", "Veldo wants \"x\\y\".");
    const std::vector<std::string> expected{
        "try",
        "return do shell script \"echo \\\"a\\\\\\\"b\\\" \\\\n\" with prompt \"Veldo wants "
        "\\\"x\\\\y\\\".\" with administrator privileges without altering line endings",
        "on error errorMessage number errorNumber",
        "return \"VELDO-ERROR \" & errorNumber & \" \" & errorMessage",
        "end try",
    };
    EXPECT_EQ(program, expected);
    EXPECT_EQ(AdminRemover::appleScriptEscaped("\\\""), "\\\\\\\"");
    EXPECT_EQ(AdminRemover::appleScriptEscaped("plain 'text'\n"), "plain 'text'\n");
}

TEST(AdminScriptText, EnvironmentAndLaunchSetUp)
{
    const veldo::core::CommandRunner::Environment environment{
        {"PATH", "/usr/bin:/bin:/usr/sbin:/sbin"}, {"LANG", "C"}, {"LC_ALL", "C"}};
    EXPECT_EQ(AdminRemover::scriptEnvironment(), environment);
    // Built once and shared.
    EXPECT_EQ(&AdminRemover::scriptEnvironment(), &AdminRemover::scriptEnvironment());

    const auto process = AdminRemover::makeOsascriptProcess({"try", "x", "end try"});
    EXPECT_EQ(process.executable, "/usr/bin/osascript"_mac);
    EXPECT_TRUE(process.arguments.empty());
    EXPECT_EQ(process.environment, environment);
    EXPECT_EQ(process.workingDirectory, "/"_mac);
    EXPECT_EQ(process.standardInput, "try\nx\nend try\n");
}

TEST(AdminScriptText, MacPathsAreWrittenOverTheRootsPhysicalPathQuoted)
{
    EXPECT_EQ(AdminRemover::shellPath("/bin/rmdir"_mac), "/bin/rmdir");
    EXPECT_EQ(AdminRemover::shellQuotedPath("/Users/u/it's"_mac), R"~('/Users/u/it'\''s')~");
    EXPECT_EQ(AdminRemover::macPathFromShell("/private/var/tmp/veldo.1"),
              "/private/var/tmp/veldo.1");

    FakeMac mac;
    // The root given through a link: the shell text names the folder it leads to, quoted.
    const std::string link = mac.root() + "-link";
    std::filesystem::create_symlink(mac.root(), link);
    veldo::platform::testing::setMacRoot(link);
    const std::string physical = std::filesystem::canonical(mac.root()).string();
    EXPECT_EQ(AdminRemover::shellPath("/private/var/tmp"_mac),
              "'" + physical + "'/private/var/tmp");
    EXPECT_EQ(AdminRemover::shellQuotedPath("/Users/u/it's"_mac),
              "'" + physical + R"~(/Users/u/it'\''s')~");
    EXPECT_EQ(AdminRemover::resultClause(2).substr(0, physical.size() + 13),
              "'" + physical + "'/bin/rmdir ");
    EXPECT_EQ(AdminRemover::macPathFromShell(physical + "/private/var/tmp/veldo.Ab12Cd"),
              "/private/var/tmp/veldo.Ab12Cd");
    EXPECT_EQ(AdminRemover::macPathFromShell(physical), "/");
    // Not inside the root (a sibling sharing the prefix, or elsewhere): unchanged.
    EXPECT_EQ(AdminRemover::macPathFromShell(physical + "x/tmp"), physical + "x/tmp");
    EXPECT_EQ(AdminRemover::macPathFromShell("/elsewhere"), "/elsewhere");
    std::filesystem::remove(link);
}

TEST(AdminScriptOutput, MarkerLines)
{
    struct Case
    {
        const char* name;
        std::string output;
        int status;
        ScriptOutcome expected;
    };
    const std::string held = "/private/var/tmp/veldo.Ab12Cd";
    const Case cases[] = {
        {"ok, held, fail", "VELDO-OK-0\nVELDO-HELD-1 " + held + "\nVELDO-FAIL-1\n", 0,
         outcome({0}, {1}, {{1, held}})},
        {"spaces, tabs and CR", " \tVELDO-OK-7 \t\r\nVELDO-FAIL-8\rVELDO-OK-9", 0,
         outcome({7, 9}, {8})},
        {"signs", "VELDO-OK-+4\nVELDO-OK--5\nVELDO-FAIL-+-6\nVELDO-FAIL--+6\n", 0,
         outcome({4, -5}, {})},
        {"64-bit range", "VELDO-OK-9223372036854775807\nVELDO-OK-9223372036854775808\n", 0,
         outcome({INT64_MAX}, {})},
        {"rejected forms",
         "VELDO-OK-\nVELDO-OK-b\nVELDO-OK-7b\nVELDO-OK- 7\nVELDO-FAIL-+\nVELDO-FAIL--\n"
         "VELDO-HELD-3\nVELDO-HELD-x /f\nVELDO-OK-1 2\nveldo-ok-1\nnoise\n",
         0, outcome({}, {})},
        {"later held replaces", "VELDO-HELD-2 /a\nVELDO-HELD-2  /b c\nVELDO-FAIL-2", 0,
         outcome({}, {2}, {{2, " /b c"}})},
        {"cancel", "VELDO-ERROR -128 User canceled.\n", 0, outcome({}, {}, {}, true)},
        {"cancel with a non-zero exit", "VELDO-OK-0\nVELDO-ERROR -128 User canceled.\n", 1,
         outcome({0}, {}, {}, true)},
        {"cancel number alone", "VELDO-ERROR   -128\t", 1, outcome({}, {}, {}, true)},
        {"cancel number, a tab, its text", "VELDO-ERROR -128\tUser canceled.\n", 1,
         outcome({}, {}, {}, true)},
        {"-128x is no cancel", "VELDO-ERROR -128x\tNo.\n", 0,
         outcome({}, {}, {}, false, "-128x\tNo.")},
        {"invalid UTF-8 repaired",
         "VELDO-HELD-2 /private/var/tmp/veldo.\xC3\nVELDO-ERROR 1 Bad \xFF\xFEname.\n", 0,
         outcome({}, {}, {{2, "/private/var/tmp/veldo.\uFFFD"}}, false, "1 Bad \uFFFD\uFFFDname.")},
        {"-1280 is no cancel", "VELDO-ERROR -1280 Something else.\n", 1,
         outcome({}, {}, {}, false, "-1280 Something else.")},
        {"-12800 is no cancel", "VELDO-ERROR -12800 x", 0, outcome({}, {}, {}, false, "-12800 x")},
        {"other numbers, last wins", "VELDO-ERROR 1 First.\nVELDO-ERROR  -60005 \tSecond. \n", 0,
         outcome({}, {}, {}, false, "-60005 \tSecond.")},
        {"no lines, status 0", "\n\r\n", 0, outcome({}, {}, {})},
        {"no lines, status 1", "", 1, outcome({}, {}, {}, false, kDidNotRun)},
        {"only noise, status 1", "hello\n", 1, outcome({}, {}, {}, false, kDidNotRun)},
        {"markers, status 1", "VELDO-OK-0\n", 1, outcome({0}, {}, {}, false, kDidNotRun)},
        {"markers, status 0", "VELDO-OK-0\n", 0, outcome({0}, {})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AdminRemover::parseScriptOutput(c.output, c.status), c.expected) << c.name;
}

TEST(AdminScriptOutput, LaunchFailureDescriptions)
{
    EXPECT_EQ(AdminRemover::launchFailure(veldo::Error::fromErrno(ENOENT)),
              outcome({}, {}, {}, false, "The file “osascript” doesn’t exist."));
    const auto denied = AdminRemover::launchFailure(veldo::Error::fromErrno(EACCES));
    EXPECT_EQ(denied.errorMessage, "Permission denied");
    EXPECT_TRUE(denied.succeeded.empty() && denied.failed.empty() && denied.held.empty());
    EXPECT_FALSE(denied.wasCancelled);
}

TEST(AdminScriptOutput, AnEmptyCommandListRunsNothing)
{
    // With an empty root there is no osascript here: a run would answer its launch error.
    EXPECT_EQ(AdminRemover::runAdministratorScript({}, "Move"), ScriptOutcome{});
}

TEST(AdminScriptOutput, FailureMessagePrecedence)
{
    const std::string heldSentence = "Veldo couldn't finish moving it, so it was left in "
                                     "/private/var/tmp/veldo.X, which only an administrator can "
                                     "open.";
    const std::string refused = "macOS refused to move this item even with administrator "
                                "rights. It may be protected by the system.";
    const std::string cancelled = "Administrator authorization was cancelled.";
    const std::map<std::int64_t, std::string> heldOne{{1, "/private/var/tmp/veldo.X"}};
    struct Case
    {
        const char* name;
        ScriptOutcome outcome;
        std::int64_t item;
        std::string expected;
    };
    const Case cases[] = {
        {"cancel outranks ok", outcome({1}, {}, {}, true), 1, cancelled},
        {"cancel outranks held and fail", outcome({}, {1}, heldOne, true, "1 x"), 1, cancelled},
        {"held outranks fail and error", outcome({}, {1}, heldOne, false, "1 x"), 1, heldSentence},
        {"fail outranks error", outcome({}, {1}, {}, false, "1 x"), 1, refused},
        {"error", outcome({}, {0}, heldOne, false, "-60005 Denied."), 2, "-60005 Denied."},
        {"nothing known", outcome({0}, {}, {}), 1, "The item couldn't be moved."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AdminRemover::failureMessage(c.item, c.outcome), c.expected) << c.name;
}
