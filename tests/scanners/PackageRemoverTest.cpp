// Uninstalling packages through stand-in package managers, and the sentences for failed runs.
#include "app/scanners/PackageRemover.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/scanners/PackageScanner.h"
#include "base/RawValue.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInBrew.h"
#include "tests/support/StandInPackageManager.h"

using namespace veldo::scanners;
using namespace veldo::scanners::PackageRemover;
using veldo::core::DevPackage;
using veldo::core::PackageManagerKind;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInBrew;
using veldo::testsupport::StandInPackageManager;
using M = PackageManagerKind;
using Strings = std::vector<std::string>;
using namespace veldo::testsupport::literals;

namespace {

// For children that hang, and for those that end by themselves: time-outs a loaded machine's
// stand-ins keep well within.
const Timeouts kShort{std::chrono::seconds(2), std::chrono::seconds(2)};
const Timeouts kLong{std::chrono::seconds(60), std::chrono::seconds(60)};

// Every manager as a stand-in, each logging its calls.
struct Managers
{
    FakeMac mac;
    StandInBrew brew{mac};
    StandInPackageManager npm{mac, "npm"};
    StandInPackageManager pip{mac, "pip3"};
    StandInPackageManager gem{mac, "gem"};

    bool nothingRan() const
    {
        return brew.calls().empty() && npm.calls().empty() && pip.calls().empty() &&
               gem.calls().empty();
    }
};

} // namespace

TEST(PackageRemover, UninstallArgumentsAndRefusals)
{
    using Arguments = std::optional<Strings>;
    const struct
    {
        M manager;
        std::string name;
        Arguments expected;
    } cases[] = {
        {M::brewFormula, "wget", Strings{"uninstall", "wget"}},
        {M::brewCask, "firefox", Strings{"uninstall", "--cask", "firefox"}},
        {M::npm, "typescript", Strings{"uninstall", "-g", "typescript"}},
        {M::npm, "@scope/tool", Strings{"uninstall", "-g", "@scope/tool"}},
        {M::pip, "requests", Strings{"uninstall", "-y", "requests"}},
        {M::gem, "rake", Strings{"uninstall", "-a", "-x", "--abort-on-dependent", "rake"}},
        // A name with blanks or quotes stays one argument.
        {M::brewFormula, "a b'c", Strings{"uninstall", "a b'c"}},
        // Homebrew protects nothing; other managers' names are not theirs.
        {M::brewFormula, "npm", Strings{"uninstall", "npm"}},
        {M::gem, "pip", Strings{"uninstall", "-a", "-x", "--abort-on-dependent", "pip"}},
        // Refused: empty, option-like, protected.
        {M::brewFormula, "", std::nullopt},
        {M::brewCask, "--force", std::nullopt},
        {M::gem, "-a", std::nullopt},
        {M::npm, "-", std::nullopt},
        // A NUL would hand the tool the name before it: "wget".
        {M::brewFormula, std::string("wget\0-x", 7), std::nullopt},
        {M::npm, "npm", std::nullopt},
        {M::npm, "corepack", std::nullopt},
        {M::pip, "Setup_Tools", Strings{"uninstall", "-y", "Setup_Tools"}},
        {M::pip, "SetupTools", std::nullopt},
        {M::pip, "wheel", std::nullopt},
        {M::gem, "bundler", std::nullopt},
        {M::gem, "rubygems-update", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(veldo::base::rawValue(c.manager)) + " " + c.name);
        EXPECT_EQ(packageUninstallArguments(c.manager, c.name), c.expected);
    }
}

TEST(PackageRemover, RefusedNamesRunNothing)
{
    Managers m;
    m.pip.setOutput("show", "Name: pip\n");
    for (const auto& [manager, name] :
         std::vector<std::pair<M, std::string>>{{M::brewFormula, ""},
                                                {M::brewCask, "--zap"},
                                                {M::npm, "npm"},
                                                {M::pip, "-r"},
                                                {M::pip, "Pip"},
                                                {M::gem, "bundler"}}) {
        EXPECT_EQ(uninstallPackage(manager, name, kShort),
                  (UninstallAttempt{false, std::string(kProtectedReason)}))
            << name;
    }
    EXPECT_TRUE(m.nothingRan());
}

TEST(PackageRemover, MissingAndUnstartableTools)
{
    // Every tool is in place before the first lookup: the search path is computed once.
    FakeMac mac;
    // The system's gem is never used for uninstalling.
    StandInPackageManager systemGem(mac, "gem", "/usr/bin"_mac);
    // Executable, but its interpreter is missing: the program cannot start.
    mac.write("/opt/homebrew/bin/npm"_mac, "#!/nonexistent/interpreter\n", 0755);

    EXPECT_EQ(uninstallPackage(M::pip, "requests", kShort),
              (UninstallAttempt{false, std::string(kToolNotFoundReason)}));
    EXPECT_EQ(uninstallPackage(M::gem, "rake", kShort).reason, kToolNotFoundReason);
    EXPECT_TRUE(systemGem.calls().empty());
    EXPECT_EQ(uninstallPackage(M::npm, "typescript", kShort),
              (UninstallAttempt{false, std::string(kCouldNotRunReason)}));
}

TEST(PackageRemover, PipAsksWhoRequiresThePackage)
{
    const struct
    {
        const char* name;
        std::string show;
        int showExit;
        bool showHangs;
        UninstallAttempt expected;
        Strings calls;
    } cases[] = {
        {"required by two",
         "Name: urllib3\nVersion: 2.2.1\nRequires: \nRequired-by: requests, botocore\n",
         0,
         false,
         {false, "Required by requests, botocore"},
         {"[show][urllib3]"}},
        {"required by nobody",
         "Name: urllib3\nRequired-by:\n",
         0,
         false,
         {true, ""},
         {"[show][urllib3]", "[uninstall][-y][urllib3]"}},
        // A show that fails or hangs tells nothing: the uninstall runs.
        {"show fails",
         "Required-by: requests\n",
         1,
         false,
         {true, ""},
         {"[show][urllib3]", "[uninstall][-y][urllib3]"}},
        {"show hangs",
         "Required-by: requests\n",
         0,
         true,
         {true, ""},
         {"[show][urllib3]", "[uninstall][-y][urllib3]"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMac mac;
        StandInPackageManager pip(mac, "pip3");
        pip.setOutput("show", c.show, "", c.showExit);
        if (c.showHangs)
            pip.setHangs("show");
        pip.setOutput("uninstall", "Successfully uninstalled urllib3-2.2.1\n");
        const Timeouts timeouts{c.showHangs ? kShort.dependencyCheck : kLong.dependencyCheck,
                                kLong.uninstall};
        EXPECT_EQ(uninstallPackage(M::pip, "urllib3", timeouts), c.expected);
        EXPECT_EQ(pip.calls(), c.calls);
    }
}

TEST(PackageRemover, RequiredByNames)
{
    const struct
    {
        std::string output;
        Strings expected;
    } cases[] = {
        {"Name: a\nRequired-by: b, c\n", {"b", "c"}},
        {"Required-by:", {}},
        {"Required-by: \t \n", {}},
        {"Name: a\n", {}},
        {"", {}},
        // Pieces trimmed of blanks and tabs; empty pieces dropped.
        {"Required-by:\tb ,, \t, c d ,\n", {"b", "c d"}},
        // Only the first such line counts, and only at the start of a line, case-sensitive.
        {"\n\nRequired-by: b\nRequired-by: c\n", {"b"}},
        {"required-by: b\n Required-by: c\nX Required-by: d\n", {}},
        // A line that merely begins with the key still counts.
        {"Required-by:x,y", {"x", "y"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(requiredByNames(c.output), c.expected) << c.output;
}

TEST(PackageRemover, DescribePackageFailure)
{
    const std::string managed =
        "This Python is externally managed (e.g. by Homebrew); use its own package manager";
    const struct
    {
        const char* name;
        std::string stdout;
        std::string stderr;
        int code;
        bool timedOut;
        std::string expected;
    } cases[] = {
        {"time-out wins", "ERROR: x", "error: y", 0, true, "Timed out"},
        {"externally managed", "",
         "error: externally-managed-environment\n\n× This environment is externally managed\n", 1,
         false, managed},
        {"externally managed, any manager's output", "", "npm ERR! externally-managed-environment",
         1, false, managed},
        {"only on standard error", "externally-managed-environment", "", 1, false,
         "externally-managed-environment"},
        {"no lines", "", "", 1, false, "Uninstall failed (exit 1)"},
        {"blank lines only", " \n\t\n\n", "  ", -9, false, "Uninstall failed (exit -9)"},
        {"dependency line before a later error line", "",
         "Removing rake\nUninstallation aborted due to dependent gem(s)\n"
         "ERROR:  While executing gem ... (Gem::DependencyRemovalException)\n",
         1, false, "Uninstallation aborted due to dependent gem(s)"},
        {"dependency in any case", "", "note\nDEPENDENCY trouble\n", 1, false,
         "DEPENDENCY trouble"},
        {"error line, trimmed, case kept", "", "Uninstalling x\n\t ERROR: Cannot uninstall x \n", 1,
         false, "ERROR: Cannot uninstall x"},
        {"error only counts at the start", "", "a\nsome error here\n", 1, false, "a"},
        {"npm's err!", "", "npm WARN a\nnpm ERR! code E404\n", 1, false, "npm ERR! code E404"},
        {"first line as the fallback", "out first\n", "\n  warning: x \nmore\n", 1, false,
         "warning: x"},
        {"standard error before standard output", "Error: from stdout\n", "Error: from stderr\n", 1,
         false, "Error: from stderr"},
        {"standard output when standard error is empty", "  only out  \n", "", 2, false,
         "only out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(describePackageFailure(c.stdout, c.stderr, c.code, c.timedOut), c.expected);
    }
}

TEST(PackageRemover, BatchKeepsOrderAndGoesOnAfterFailures)
{
    Managers m;
    m.brew.setMode("uninstall", "recorded");
    m.brew.setOutput("uninstall", "Uninstalling /opt/homebrew/Cellar/wget/1.24.5\n", "", 0);
    m.npm.setOutput("uninstall", "", "npm ERR! code EACCES\nnpm ERR! permission denied\n", 243);
    m.pip.setOutput("show", "Name: requests\nRequired-by: \n");
    m.pip.setOutput("uninstall", "Successfully uninstalled requests\n");
    m.gem.setOutput("uninstall", "", "", 1);

    const std::vector<DevPackage> packages{
        {M::npm, "typescript", "5.4.5", 100}, {M::brewFormula, "wget", "1.24.5", 200},
        {M::gem, "bundler", "2.5.0", 0},      {M::pip, "requests", "2.32.3", 0},
        {M::gem, "rake", "13.2.1", 0},
    };
    const Result result = removePackages(packages, kLong);

    EXPECT_EQ(result.removed, (std::vector<DevPackage>{packages[1], packages[3]}));
    ASSERT_EQ(result.failed.size(), 3u);
    EXPECT_EQ(result.failed[0].first, packages[0]);
    EXPECT_EQ(result.failed[1].first, packages[2]);
    EXPECT_EQ(result.failed[2].first, packages[4]);
    EXPECT_EQ(result.failureLines(),
              (Strings{"typescript: npm ERR! code EACCES",
                       "bundler: Protected: part of the package manager itself",
                       "rake: Uninstall failed (exit 1)"}));
    EXPECT_EQ(m.npm.calls(), Strings{"[uninstall][-g][typescript]"});
    EXPECT_EQ(m.brew.calls(), Strings{"[uninstall][wget]"});
    EXPECT_EQ(m.pip.calls(), (Strings{"[show][requests]", "[uninstall][-y][requests]"}));
    EXPECT_EQ(m.gem.calls(), Strings{"[uninstall][-a][-x][--abort-on-dependent][rake]"});
    EXPECT_TRUE(Result{}.failureLines().empty());
}

TEST(PackageRemover, BrewUninstallsWhatItHasAndListsTheRest)
{
    // brew's own behaviour: its state is the Cellar and the Caskroom of the fake Mac.
    FakeMac mac;
    StandInBrew brew(mac);
    mac.write("/opt/homebrew/Cellar/wget/1.24.5/bin/wget"_mac, "x");
    mac.write("/opt/homebrew/Cellar/jq/1.7.1/bin/jq"_mac, "x");
    mac.write("/opt/homebrew/Cellar/jq/1.6/bin/jq"_mac, "x");
    mac.mkdir("/opt/homebrew/Caskroom/zoom/6.1.0"_mac);
    const auto listed = [] {
        Strings names;
        for (const auto& group : PackageScanner::scanPackages(kShort.uninstall))
            for (const auto& package : group.packages)
                names.push_back(std::string(veldo::base::rawValue(group.manager)) + " " +
                                package.name + "=" + package.version);
        std::sort(names.begin(), names.end());
        return names;
    };
    ASSERT_EQ(listed(),
              (Strings{"brewCask zoom=6.1.0", "brewFormula jq=1.6", "brewFormula wget=1.24.5"}));

    const std::vector<DevPackage> packages{
        {M::brewFormula, "wget", "1.24.5", 0},
        {M::brewCask, "zoom", "6.1.0", 0},
        {M::brewFormula, "htop", "3.3.0", 0},
    };
    const Result result = removePackages(packages, kShort);
    EXPECT_EQ(result.removed, (std::vector<DevPackage>{packages[0], packages[1]}));
    EXPECT_EQ(result.failureLines(),
              Strings{"htop: Error: No installed keg or cask with the name \"htop\""});
    EXPECT_EQ(listed(), Strings{"brewFormula jq=1.6"});
    EXPECT_FALSE(std::filesystem::exists(mac.host("/opt/homebrew/Cellar/wget"_mac)));

    // A listing the test wrote is brew's state too: what is uninstalled leaves it.
    brew.setOutput("list-cask", "firefox 128.0\nzoom 6.1.0\n");
    EXPECT_EQ(removePackages({{M::brewCask, "zoom", "6.1.0", 0}}, kShort).removed.size(), 1u);
    EXPECT_EQ(mac.contents(StandInBrew::controlFolder().appendingPathComponent("list-cask.stdout")),
              "firefox 128.0\n");
}

TEST(PackageRemover, UninstallPastItsTimeOut)
{
    FakeMac mac;
    StandInPackageManager npm(mac, "npm");
    npm.setOutput("uninstall", "removing…\n");
    npm.setHangs("uninstall");
    EXPECT_EQ(uninstallPackage(M::npm, "typescript", kShort),
              (UninstallAttempt{false, "Timed out"}));
}

TEST(PackageRemover, AStoppedBatchRunsNothingAndSaysSo)
{
    Managers m;
    m.pip.setOutput("show", "Required-by: \n");
    std::stop_source source;
    source.request_stop();
    const std::vector<DevPackage> packages{{M::pip, "requests", "", 0},
                                           {M::brewCask, "firefox", "", 0}};
    const Result result = removePackages(packages, kShort, source.get_token());
    EXPECT_TRUE(result.removed.empty());
    EXPECT_EQ(result.failureLines(), (Strings{"requests: " + std::string(kStoppedReason),
                                              "firefox: " + std::string(kStoppedReason)}));
    EXPECT_TRUE(m.nothingRan());
}
