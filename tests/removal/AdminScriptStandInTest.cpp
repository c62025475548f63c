// The administrator script run for real, through the stand-in osascript of a fake Mac: what
// reaches the shell, staging folders and markers, cancel and error modes, refusal of a Mac whose
// system folders others can write, a missing osascript, and the stand-in's own rules.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/core/CommandRunner.h"
#include "app/removal/AdminScriptRunner.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInOsascript.h"
#include "tests/support/Unprivileged.h"
#include "tests/support/osascript/OsascriptRules.h"

namespace AdminRemover = veldo::removal::AdminRemover;
namespace osascript = veldo::testsupport::osascript;
namespace CommandRunner = veldo::core::CommandRunner;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInOsascript;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;

namespace {

constexpr const char* kCancelled = "Administrator authorization was cancelled.";

#define SKIP_UNLESS_ROOT()                                                                         \
    do {                                                                                           \
        if (::geteuid() != 0)                                                                      \
            GTEST_SKIP() << "the stand-in osascript runs scripts only in a fake Mac that root "    \
                            "owns; run as root";                                                   \
    } while (false)

// "( S=$(mktemp -d …/veldo.XXXXXX) || exit 1; <body>; " + the result clause of n.
std::string stagedClause(std::int64_t n, const std::string& body)
{
    return "( S=$(" + AdminRemover::shellPath("/usr/bin/mktemp"_mac) + " -d " +
           AdminRemover::shellPath("/private/var/tmp/veldo.XXXXXX"_mac) + ") || exit 1; " + body +
           "; " + AdminRemover::resultClause(n);
}

std::vector<std::string> entries(const FakeMac& mac, const MacPath& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(mac.host(folder)))
        names.push_back(entry.path().filename().string());
    return names;
}

} // namespace

TEST(AdminScriptStandIn, QuotesAndBackslashesReachTheShellUnchanged)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const std::string out = AdminRemover::shellQuotedPath("/private/var/tmp/out"_mac);
    const std::string prompt = "Veldo wants to move \"Tool\\Helper\" to the Trash.";
    const std::vector<std::string> commands{
        "( printf '%s' 'say \"hi\" \\ \\\\ \\\"' > " + out + "; exit 0; " +
            AdminRemover::resultClause(0),
        // The hook ran just before the script.
        "( test -f " + AdminRemover::shellPath("/private/var/tmp/hooked"_mac) + " && exit 0; " +
            AdminRemover::resultClause(1),
        // Only the runner's environment, in the Mac's "/"; lines that are no markers, invalid
        // UTF-8 among them, are passed over.
        "( { env; pwd -P; } > " + AdminRemover::shellPath("/private/var/tmp/env"_mac) +
            "; printf 'noise\\377\\nVELDO-OK-\\377\\n'; exit 0; " + AdminRemover::resultClause(2),
    };
    osascript.setHook("touch " + AdminRemover::shellPath("/private/var/tmp/hooked"_mac));

    // NOLINTNEXTLINE(concurrency-mt-unsafe): no other thread runs yet
    ::setenv("VELDO_PRIVATE_TEST_VALUE", "leaked", 1);
    const auto result = AdminRemover::runAdministratorScript(commands, prompt);
    ::unsetenv("VELDO_PRIVATE_TEST_VALUE"); // NOLINT(concurrency-mt-unsafe)
    EXPECT_EQ(result.succeeded, (std::set<std::int64_t>{0, 1, 2}));
    EXPECT_TRUE(result.failed.empty());
    const std::string environment = mac.contents("/private/var/tmp/env"_mac);
    EXPECT_EQ(environment.find("leaked"), std::string::npos) << environment;
    EXPECT_NE(environment.find("PATH=/usr/bin:/bin:/usr/sbin:/sbin\n"), std::string::npos);
    EXPECT_NE(environment.find("LC_ALL=C\n"), std::string::npos);
    EXPECT_TRUE(
        environment.ends_with("\n" + std::filesystem::canonical(mac.root()).string() + "\n"))
        << environment;
    EXPECT_FALSE(result.errorMessage) << *result.errorMessage;
    EXPECT_EQ(osascript.prompts(), std::vector<std::string>{prompt});
    EXPECT_EQ(osascript.scripts(), std::vector<std::string>{AdminRemover::scriptText(commands)});
    EXPECT_EQ(mac.contents("/private/var/tmp/out"_mac), "say \"hi\" \\ \\\\ \\\"");
}

TEST(AdminScriptStandIn, StagingFoldersAndMarkersParseBack)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const std::vector<std::string> commands{
        stagedClause(0, "/bin/rmdir \"$S\" && exit 0"),
        stagedClause(1, "false && exit 0"),
        stagedClause(2, ": > \"$S/left\"; false && exit 0"),
    };
    const auto result = AdminRemover::runAdministratorScript(commands, "Move");
    EXPECT_EQ(result.succeeded, (std::set<std::int64_t>{0}));
    EXPECT_EQ(result.failed, (std::set<std::int64_t>{1, 2}));
    EXPECT_FALSE(result.wasCancelled);
    EXPECT_FALSE(result.errorMessage) << *result.errorMessage;
    ASSERT_EQ(result.held.size(), 1u);
    const std::string held = result.held.at(2);
    // The folder comes back as its Mac path, the only one left in the staging area.
    ASSERT_TRUE(held.starts_with("/private/var/tmp/veldo.")) << held;
    EXPECT_EQ(entries(mac, "/private/var/tmp"_mac),
              std::vector<std::string>{MacPath(held).lastPathComponent()});
    EXPECT_EQ(entries(mac, MacPath(held)), std::vector<std::string>{"left"});
    EXPECT_EQ(AdminRemover::failureMessage(2, result),
              "Veldo couldn't finish moving it, so it was left in " + held +
                  ", which only an administrator can open.");
}

TEST(AdminScriptStandIn, ScriptOver128KiBRuns)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const std::string padding(800, 'p');
    std::vector<std::string> commands;
    std::set<std::int64_t> all;
    for (std::int64_t n = 0; n < 200; ++n) {
        commands.push_back("( : " + padding + "; exit 0; " + AdminRemover::resultClause(n));
        all.insert(n);
    }
    ASSERT_GT(AdminRemover::scriptText(commands).size(), 128u * 1024);
    const auto result = AdminRemover::runAdministratorScript(commands, "Move");
    EXPECT_FALSE(result.errorMessage) << *result.errorMessage;
    EXPECT_EQ(result.succeeded, all);
}

TEST(AdminScriptStandIn, DialogAnswersAndMissingOsascript)
{
    SKIP_UNLESS_ROOT();
    struct Case
    {
        const char* name;
        void (*arrange)(const StandInOsascript&);
        std::string sentence;
    };
    const Case cases[] = {
        {"cancel", [](const StandInOsascript& o) { o.setCancels(); }, kCancelled},
        {"-1280 is an error", [](const StandInOsascript& o) { o.setError(-1280, "Odd."); },
         "-1280 Odd."},
        {"wrong password",
         [](const StandInOsascript& o) { o.setError(-60005, "The password is wrong."); },
         "-60005 The password is wrong."},
        {"exit status, no output", [](const StandInOsascript& o) { o.setExitStatus(3); },
         "The administrator command didn't run."},
        {"missing osascript", [](const StandInOsascript& o) { o.remove(); },
         "The file “osascript” doesn’t exist."},
    };
    for (const auto& c : cases) {
        FakeMac mac;
        StandInOsascript osascript(mac);
        c.arrange(osascript);
        const std::string marker = AdminRemover::shellPath("/private/var/tmp/ran"_mac);
        const std::vector<std::string> commands{"( touch " + marker + "; exit 0; " +
                                                    AdminRemover::resultClause(0),
                                                "( exit 0; " + AdminRemover::resultClause(1)};
        const auto result = AdminRemover::runAdministratorScript(commands, "Move");
        EXPECT_TRUE(result.succeeded.empty()) << c.name;
        EXPECT_EQ(AdminRemover::failureMessage(0, result), c.sentence) << c.name;
        EXPECT_EQ(AdminRemover::failureMessage(1, result), c.sentence) << c.name;
        EXPECT_FALSE(std::filesystem::exists(mac.host("/private/var/tmp/ran"_mac))) << c.name;
    }
}

TEST(AdminScriptStandIn, UnprotectedSystemFoldersRunNothing)
{
    SKIP_UNLESS_ROOT();
    struct Case
    {
        const char* name;
        const char* path;
        mode_t mode;
        bool ordinaryOwner;
    };
    const Case cases[] = {
        {"/usr/bin writable by all", "/usr/bin", 0777, false},
        {"/usr/bin group-writable, ordinary group", "/usr/bin", 0775, true},
        {"/private/var/tmp writable by all, not sticky", "/private/var/tmp", 0777, false},
        {"/private/var/tmp an ordinary user's", "/private/var/tmp", 01777, true},
        {"a tool an ordinary user owns", "/usr/bin/stat", 0755, true},
    };
    for (const auto& c : cases) {
        FakeMac mac;
        StandInOsascript osascript(mac);
        const std::string host = mac.host(MacPath(c.path));
        ASSERT_EQ(::chmod(host.c_str(), c.mode), 0) << c.name;
        if (c.ordinaryOwner) {
            ASSERT_EQ(::chown(host.c_str(), veldo::testsupport::unprivilegedUid(),
                              veldo::testsupport::unprivilegedGid()),
                      0)
                << c.name;
        }
        const std::string marker = AdminRemover::shellPath("/private/var/tmp/ran"_mac);
        const std::vector<std::string> commands{"( touch " + marker + "; exit 0; " +
                                                    AdminRemover::resultClause(0),
                                                "( exit 0; " + AdminRemover::resultClause(1)};
        const auto result = AdminRemover::runAdministratorScript(commands, "Move");
        const std::string sentence = std::string(osascript::kUnprotectedLine).substr(12);
        EXPECT_TRUE(result.succeeded.empty()) << c.name;
        EXPECT_EQ(AdminRemover::failureMessage(0, result), sentence) << c.name;
        EXPECT_EQ(AdminRemover::failureMessage(1, result), sentence) << c.name;
        EXPECT_FALSE(std::filesystem::exists(mac.host("/private/var/tmp/ran"_mac))) << c.name;
    }
}

TEST(AdminScriptStandIn, RefusesAnyOtherProgram)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const std::string marker = AdminRemover::shellPath("/private/var/tmp/ran"_mac);
    const std::string program = AdminRemover::makeOsascriptProcess(
                                    AdminRemover::makeOsascriptProgram("touch " + marker, "Move"))
                                    .standardInput;
    struct Case
    {
        const char* name;
        std::vector<std::string> arguments;
        std::string input;
    };
    const Case cases[] = {
        {"arguments", {"-e", "do shell script \"touch " + marker + "\""}, ""},
        {"program and arguments", {"-"}, program},
        {"a sixth line", {}, program + "beep\n"},
        {"no final line feed", {}, program.substr(0, program.size() - 1)},
        {"an unknown escape",
         {},
         [&] {
             std::string p = program;
             p.insert(p.find("touch"), "\\n");
             return p;
         }()},
        {"another command",
         {},
         [&] {
             std::string p = program;
             p.replace(p.find("with administrator"), 4, "sans");
             return p;
         }()},
    };
    for (const auto& c : cases) {
        CommandRunner::RunOptions options;
        options.standardInput = c.input;
        const auto out = CommandRunner::run("/usr/bin/osascript"_mac, c.arguments,
                                            AdminRemover::scriptEnvironment(), 30s, options);
        ASSERT_TRUE(out.has_value()) << c.name;
        EXPECT_EQ(out->code, 1) << c.name;
        EXPECT_EQ(out->stdout, "") << c.name;
        EXPECT_NE(out->stderr, "") << c.name;
        EXPECT_FALSE(std::filesystem::exists(mac.host("/private/var/tmp/ran"_mac))) << c.name;
    }
    EXPECT_TRUE(osascript.scripts().empty());

    // The same program, unchanged, runs.
    CommandRunner::RunOptions options;
    options.standardInput = program;
    const auto out = CommandRunner::run("/usr/bin/osascript"_mac, {},
                                        AdminRemover::scriptEnvironment(), 30s, options);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->code, 0);
    EXPECT_EQ(out->stdout, "\n");
    EXPECT_TRUE(std::filesystem::exists(mac.host("/private/var/tmp/ran"_mac)));
}

TEST(AdminScriptStandIn, ShellTools)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    mac.write("/private/var/tmp/file"_mac, "x");
    mac.symlink("/private/var/tmp/link"_mac, "file");
    struct stat link
    {
    };
    ASSERT_EQ(::lstat(mac.host("/private/var/tmp/link"_mac).c_str(), &link), 0);

    // BSD stat: device, inode, owner and group of the link itself, with literal text.
    auto out = CommandRunner::run(
        "/usr/bin/stat"_mac, {"-f", "%d:%i:%u:%g 100%%", mac.host("/private/var/tmp/link"_mac)},
        AdminRemover::scriptEnvironment(), 30s);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, std::to_string(link.st_dev) + ":" + std::to_string(link.st_ino) + ":" +
                               std::to_string(link.st_uid) + ":" + std::to_string(link.st_gid) +
                               " 100%\n");
    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"-f", "%z", "/"}, {"-c", "%d", "/"}, {"-f", "%d"}}) {
        out = CommandRunner::run("/usr/bin/stat"_mac, refused, AdminRemover::scriptEnvironment(),
                                 30s);
        ASSERT_TRUE(out.has_value());
        EXPECT_EQ(out->code, 64) << refused[1];
    }

    // perl runs the hook after its n-th rename, between two pieces of one command.
    const std::string folder = mac.host("/private/var/tmp"_mac);
    osascript.setPerlRenameHook(1, "ls " + folder + " > " + mac.host("/private/tmp/seen"_mac));
    out = CommandRunner::run("/usr/bin/perl"_mac,
                             {"-e", "rename 'file', 'a' or die; rename 'a', 'b' or die;"},
                             AdminRemover::scriptEnvironment(), 30s, [&] {
                                 CommandRunner::RunOptions options;
                                 options.workingDirectory = "/private/var/tmp"_mac;
                                 return options;
                             }());
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->code, 0) << out->stderr;
    EXPECT_EQ(mac.contents("/private/tmp/seen"_mac), "a\nlink\n");
    EXPECT_TRUE(std::filesystem::exists(mac.host("/private/var/tmp/b"_mac)));
}

TEST(OsascriptStandInRules, ProgramRoundTrip)
{
    const std::string script = "echo \"a\\b\" '\\\"' \\\\\necho two\r\n";
    const std::string prompt = "Veldo \"quoted\" \\ prompt";
    const auto request = osascript::parseProgram(
        AdminRemover::makeOsascriptProcess(AdminRemover::makeOsascriptProgram(script, prompt))
            .standardInput);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->script, script);
    EXPECT_EQ(request->prompt, prompt);
}

TEST(OsascriptStandInRules, ShellAndPkexecResults)
{
    struct Case
    {
        const char* name;
        bool pkexec;
        int status;
        std::string out;
        std::string err;
        std::string expected;
    };
    const Case cases[] = {
        {"output less one line feed", false, 0, "VELDO-OK-0\n\n", "x", "VELDO-OK-0\n\n"},
        {"no output", false, 0, "", "", "\n"},
        {"shell error", false, 2, "VELDO-OK-0\n", "sh: 1: bad\n", "VELDO-ERROR 2 sh: 1: bad\n"},
        {"shell error, two lines", false, 2, "", "a\nb\n", "VELDO-ERROR 2 a b\n"},
        {"shell error, silent", false, 3, "", "",
         "VELDO-ERROR 3 The command exited with a non-zero status.\n"},
        {"pkexec dialog dismissed", true, 126, "", "", "VELDO-ERROR -128 User canceled.\n"},
        {"pkexec not authorised", true, 127, "",
         "Error executing command as another user: Not "
         "authorized\n",
         "VELDO-ERROR -60005 Error executing command as another user: Not authorized\n"},
        {"pkexec failed silently", true, 127, "", "",
         "VELDO-ERROR -60005 Administrator authorization failed.\n"},
        {"pkexec ran the shell", true, 0, "VELDO-OK-1\n", "", "VELDO-OK-1\n"},
        {"pkexec ran a failing shell", true, 4, "", "e", "VELDO-ERROR 4 e\n"},
    };
    for (const auto& c : cases) {
        const std::string printed = c.pkexec ? osascript::pkexecResult(c.status, c.out, c.err)
                                             : osascript::shellResult(c.status, c.out, c.err);
        EXPECT_EQ(printed, c.expected) << c.name;
    }
    // What the runner makes of the two pkexec failures.
    EXPECT_TRUE(
        AdminRemover::parseScriptOutput(osascript::pkexecResult(126, "", ""), 0).wasCancelled);
    EXPECT_EQ(AdminRemover::parseScriptOutput(osascript::pkexecResult(127, "", ""), 0).errorMessage,
              "-60005 Administrator authorization failed.");
    EXPECT_EQ(osascript::pkexecArguments(),
              (std::vector<std::string>{"/usr/bin/env", "-i", "PATH=/usr/bin:/bin:/usr/sbin:/sbin",
                                        "LANG=C", "LC_ALL=C", "/bin/sh", "-c",
                                        "v=$(cat); exec </dev/null; eval \"$v\""}));
}

TEST(AdminScriptStandIn, AnOrdinaryUserGoesThroughPkexec)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    if (!veldo::testsupport::unprivilegedCanSearch(mac.root()))
        GTEST_SKIP() << "the temporary folder is closed to other users; set TMPDIR to a "
                        "world-searchable folder to run this test";
    // No desktop session here, so pkexec can't authorise (or isn't installed): the run ends in an
    // error line that is neither a cancel nor a success, and the script never runs.
    const std::string marker = AdminRemover::shellPath("/private/var/tmp/ran"_mac);
    const std::vector<std::string> commands{"( touch " + marker + "; exit 0; " +
                                            AdminRemover::resultClause(0)};
    const int status = veldo::testsupport::runUnprivileged([&] {
        const auto result = AdminRemover::runAdministratorScript(commands, "Move");
        if (!result.succeeded.empty() || result.wasCancelled)
            return 1;
        if (!result.errorMessage || !result.errorMessage->starts_with("-60005 "))
            return 2;
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(std::filesystem::exists(mac.host("/private/var/tmp/ran"_mac)));
}
