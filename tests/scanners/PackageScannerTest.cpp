// Listing the packages of brew, npm, pip and gem through stand-in tools, and reading their output.
#include "app/scanners/PackageScanner.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/CommandRunner.h"
#include "platform/MacRoot.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/SlowLoginShell.h"
#include "tests/support/StandInBrew.h"
#include "tests/support/StandInPackageManager.h"

using namespace veldo::scanners;
using namespace veldo::scanners::PackageScanner;
using veldo::core::DevPackage;
using veldo::core::PackageGroup;
using veldo::core::PackageManagerKind;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::SlowLoginShell;
using veldo::testsupport::StandInBrew;
using veldo::testsupport::StandInPackageManager;
using M = PackageManagerKind;
using Strings = std::vector<std::string>;
using Parsed = std::vector<ParsedPackage>;
using namespace veldo::testsupport::literals;

namespace {

// For listings that hang, and for those that end by themselves: a time-out a loaded machine's
// stand-ins keep well within.
constexpr std::chrono::milliseconds kShortTimeout = std::chrono::seconds(2);
constexpr std::chrono::milliseconds kTimeout = std::chrono::seconds(60);

void fill(const FakeMac& mac, const MacPath& path, std::size_t bytes)
{
    mac.write(path, std::string(bytes, 'x'));
}

// A thread that requests a stop through `stop` after `delay`.
std::jthread stopAfter(std::stop_source& stop, std::chrono::milliseconds delay)
{
    return std::jthread([&stop, delay] {
        std::this_thread::sleep_for(delay);
        stop.request_stop();
    });
}

// name=version pairs of a group, in order.
Strings entries(const PackageGroup& group)
{
    Strings out;
    for (const auto& p : group.packages)
        out.push_back(p.name + "=" + p.version);
    return out;
}

} // namespace

TEST(PackageScanner, NoManagerGivesNoGroups)
{
    FakeMac mac;
    EXPECT_TRUE(scanPackages(kTimeout).empty());
    for (M manager : veldo::base::allCases<PackageManagerKind>())
        EXPECT_FALSE(locatePackageTool(manager).has_value());
}

TEST(PackageScanner, BrewFormulaeAndCasksWithTheirSizes)
{
    // The package folders lie in the prefix that holds brew's bin folder.
    for (const std::string prefix : {"/opt/homebrew", "/usr/local"}) {
        SCOPED_TRACE(prefix);
        FakeMac mac;
        StandInBrew brew(mac, MacPath(prefix + "/bin/brew"));
        brew.setOutput("list-formula",
                       "wget 1.24.5 1.21.4\nhtop\n\n   \nxz  5.4.6\n../../Users 1\n");
        brew.setOutput("list-cask", "firefox 128.0\nzoom 6.1.0\n");
        fill(mac, MacPath(prefix + "/Cellar/xz/5.4.6/lib/liblzma.a"), 300'000);
        fill(mac, MacPath(prefix + "/Cellar/wget/1.24.5/bin/wget"), 100'000);
        fill(mac, MacPath(prefix + "/Caskroom/zoom/6.1.0/zoom.pkg"), 200'000);
        fill(mac, "/Users/big"_mac, 1'000'000); // never measured: the name leaves the Cellar
        fill(mac, "/opt/homebrew/Caskroom/firefox/128.0/big"_mac, 1'000'000); // another prefix

        const auto groups = scanPackages(kTimeout);
        ASSERT_EQ(groups.size(), 2u);
        EXPECT_EQ(groups[0].manager, M::brewFormula);
        // Largest first; equal sizes (0) keep the listing's order.
        EXPECT_EQ(entries(groups[0]),
                  (Strings{"xz=5.4.6", "wget=1.24.5", "htop=", "../../Users=1"}));
        EXPECT_GT(groups[0].packages[0].sizeBytes, 300'000);
        EXPECT_GT(groups[0].packages[1].sizeBytes, 100'000);
        EXPECT_EQ(groups[0].packages[2].sizeBytes, 0);
        EXPECT_EQ(groups[0].packages[3].sizeBytes, 0);
        EXPECT_EQ(groups[1].manager, M::brewCask);
        if (prefix == "/opt/homebrew") {
            EXPECT_EQ(entries(groups[1]), (Strings{"firefox=128.0", "zoom=6.1.0"}));
        } else {
            EXPECT_EQ(entries(groups[1]), (Strings{"zoom=6.1.0", "firefox=128.0"}));
        }
        EXPECT_EQ(brew.calls(),
                  (Strings{"[list][--formula][--versions]", "[list][--cask][--versions]"}));
    }
}

TEST(PackageScanner, ListingsThatAreNotAcceptedGiveNoGroup)
{
    const std::string npmJson = R"({"dependencies":{"typescript":{"version":"5.4.5"}}})";
    const std::string pipJson = R"([{"name":"requests","version":"2.32.3"}])";
    const std::string gemText = "rake (13.2.1)\n";
    const struct
    {
        const char* name;
        int exitCode;
        bool hangs;
        Strings expected; // the managers that still have a group
    } cases[] = {
        {"all well", 0, false, {"brewFormula", "brewCask", "npm", "pip", "gem"}},
        // npm's list and pip don't look at the exit code.
        {"exit 1", 1, false, {"npm", "pip"}},
        // pip doesn't look at the time-out either; what it printed is used.
        {"hang", 0, true, {"pip"}},
    };
    for (const auto& c : cases) {
        FakeMac mac;
        StandInBrew brew(mac);
        StandInPackageManager npm(mac, "npm");
        StandInPackageManager pip(mac, "pip3");
        StandInPackageManager gem(mac, "gem");
        brew.setMode("list-formula", "recorded");
        brew.setMode("list-cask", "recorded");
        brew.setOutput("list-formula", "wget 1.24.5\n", "", c.exitCode);
        brew.setOutput("list-cask", "zoom 6.1.0\n", "", c.exitCode);
        npm.setOutput("root", "/nowhere\n", "", c.exitCode);
        npm.setOutput("ls", npmJson, "", c.exitCode);
        pip.setOutput("list", pipJson, "", c.exitCode);
        gem.setOutput("list", gemText, "", c.exitCode);
        if (c.hangs) {
            brew.setMode("list-formula", "hang");
            brew.setMode("list-cask", "hang");
            for (const auto* tool : {&npm, &pip, &gem}) {
                tool->setHangs("ls");
                tool->setHangs("list");
            }
        }
        Strings managers;
        for (const auto& group : scanPackages(c.hangs ? kShortTimeout : kTimeout))
            managers.emplace_back(veldo::base::rawValue(group.manager));
        EXPECT_EQ(managers, c.expected) << c.name;
    }
}

TEST(PackageScanner, AStopEndsHangingListings)
{
    FakeMac mac;
    StandInBrew brew(mac);
    StandInPackageManager npm(mac, "npm");
    StandInPackageManager pip(mac, "pip3");
    brew.setMode("list-formula", "hang");
    brew.setMode("list-cask", "hang");
    npm.setHangs("root");
    npm.setHangs("ls");
    pip.setHangs("list");
    std::stop_source stop;
    auto quitter = stopAfter(stop, std::chrono::milliseconds(300));
    const auto started = std::chrono::steady_clock::now();
    const auto groups = scanPackages(std::chrono::seconds(300), stop.get_token());
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(groups.empty());
    // One listing ended within the runner's grace; the others never started.
    EXPECT_LT(elapsed, std::chrono::seconds(1) + veldo::core::CommandRunner::kTerminateGrace);
    EXPECT_LE(brew.calls().size() + npm.calls().size() + pip.calls().size(), 1U);
}

TEST(PackageScanner, AStopEndsTheSearchForTheTools)
{
    FakeMac mac;
    const SlowLoginShell shell(mac);
    if (veldo::core::CommandRunner::loginShell().string() != "/bin/sh")
        GTEST_SKIP() << "/etc/shells does not allow /bin/sh";
    StandInBrew brew(mac);
    std::stop_source stop;
    auto quitter = stopAfter(stop, std::chrono::milliseconds(300));
    const auto started = std::chrono::steady_clock::now();
    const auto groups = scanPackages(std::chrono::seconds(300), stop.get_token());
    // The login shell's run, the first look-up of the search path, was hung up at the stop rather
    // than left to its time-out, and no listing started.
    EXPECT_LT(std::chrono::steady_clock::now() - started,
              veldo::core::CommandRunner::kTerminateGrace);
    EXPECT_TRUE(groups.empty());
    EXPECT_TRUE(brew.calls().empty());
}

TEST(PackageScanner, NpmGlobalsUnderTheRoot)
{
    FakeMac mac;
    StandInPackageManager npm(mac, "npm");
    const MacPath root("/opt/homebrew/lib/node_modules");
    npm.setOutput("root", "  " + mac.host(root) + "\n");
    npm.setOutput("ls",
                  R"({"name":"lib","dependencies":{"zeta":{"version":"1.0.0"},)"
                  R"("npm":{"version":"10.8.1"},"alpha":{"version":"2.0.0"},)"
                  R"("corepack":{"version":"0.28.2"},"@scope/big":{"version":"3.0.0"},)"
                  R"("broken":{"missing":true},"odd":"1.0"},)"
                  R"("problems":["missing: peer@1"]})",
                  "npm ERR! missing: peer@1\n", 1);
    fill(mac, root.appendingPathComponent("@scope/big/index.js"), 100'000);
    fill(mac, root.appendingPathComponent("npm/index.js"), 500'000);

    const auto groups = scanPackages(kTimeout);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].manager, M::npm);
    EXPECT_EQ(entries(groups[0]),
              (Strings{"@scope/big=3.0.0", "zeta=1.0.0", "alpha=2.0.0", "broken=", "odd="}));
    EXPECT_GT(groups[0].packages[0].sizeBytes, 100'000);
    EXPECT_EQ(npm.calls(), (Strings{"[root][-g]", "[ls][-g][--depth=0][--json]"}));
    // The child's PATH holds the tool folders as host paths.
    ASSERT_EQ(npm.paths().size(), 2u);
    EXPECT_NE(npm.paths()[0].find(mac.host("/opt/homebrew/bin"_mac)), std::string::npos);

    // A root outside the Mac, or none at all, measures nothing.
    for (const std::string& printed :
         {std::string("/srv/elsewhere/node_modules\n"), std::string()}) {
        npm.setOutput("root", printed);
        const auto again = scanPackages(kTimeout);
        ASSERT_EQ(again.size(), 1u);
        for (const auto& p : again[0].packages)
            EXPECT_EQ(p.sizeBytes, 0) << p.name;
    }
}

TEST(PackageScanner, PipFallsBackToPipAndSortsByName)
{
    FakeMac mac;
    StandInPackageManager pip(mac, "pip");
    pip.setOutput("list",
                  R"([{"name":"wheel","version":"0.43.0"},)"
                  R"({"name":"Setuptools","version":"70.0.0"},)"
                  R"({"name":"PIP","version":"24.0"},)"
                  R"({"name":"zope.interface","version":"6.4"},)"
                  R"({"name":"requests","version":"2.32.3"},)"
                  R"({"name":"","version":"1"},{"version":"1"},)"
                  R"({"name":"Django","version":5},)"
                  R"({"name":"attrs","version":"23.2.0","editable_project_location":"/x"}])");
    ASSERT_EQ(locatePackageTool(M::pip), MacPath("/opt/homebrew/bin/pip"));

    const auto groups = scanPackages(kTimeout);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].manager, M::pip);
    EXPECT_EQ(entries(groups[0]),
              (Strings{"attrs=23.2.0", "Django=", "requests=2.32.3", "zope.interface=6.4"}));
    EXPECT_EQ(pip.calls(), Strings{"[list][--format=json]"});
}

TEST(PackageScanner, Pip3IsPreferred)
{
    FakeMac mac;
    StandInPackageManager pip(mac, "pip", "/usr/local/bin"_mac);
    StandInPackageManager pip3(mac, "pip3", "/usr/local/bin"_mac);
    EXPECT_EQ(locatePackageTool(M::pip), MacPath("/usr/local/bin/pip3"));
}

TEST(PackageScanner, GemsWithoutDefaultOnesAndBundler)
{
    FakeMac mac;
    StandInPackageManager gem(mac, "gem");
    gem.setOutput("list", "\n*** LOCAL GEMS ***\n\n"
                          "rake (13.2.1, default: 13.0.6)\n"
                          "minitest (default: 5.16.2, 5.22.3)\n"
                          "json (default: 2.6.3)\n"
                          "bundler (2.5.10, default: 2.4.19)\n"
                          "Nokogiri (1.16.5 x86_64-linux)\n"
                          "\tabbrev\t(0.1.2)\n"
                          " (1.0)\n"
                          "broken ) (\n"
                          "racc (, ,1.8.0)\n");

    const auto groups = scanPackages(kTimeout);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].manager, M::gem);
    EXPECT_EQ(entries(groups[0]),
              (Strings{"abbrev=0.1.2", "minitest=5.22.3", "Nokogiri=1.16.5 x86_64-linux",
                       "racc=1.8.0", "rake=13.2.1"}));
    EXPECT_EQ(gem.calls(), Strings{"[list][--local]"});
}

TEST(PackageScanner, SystemGemIsNeverUsed)
{
    FakeMac mac;
    StandInPackageManager gem(mac, "gem", "/usr/bin"_mac);
    gem.setOutput("list", "rake (13.2.1)\n");
    EXPECT_FALSE(locatePackageTool(M::gem).has_value());
    EXPECT_TRUE(scanPackages(kTimeout).empty());
    EXPECT_TRUE(gem.calls().empty());
}

TEST(PackageScanner, LargeOutputOnBothStreams)
{
    FakeMac mac;
    StandInPackageManager pip(mac, "pip3");
    std::string json = "[";
    for (int i = 0; i < 3000; ++i)
        json += (i ? "," : "") + std::string(R"({"name":"package-)") + std::to_string(10000 + i) +
                R"(","version":"1.0.0"})";
    json += "]";
    ASSERT_GT(json.size(), 64u * 1024);
    pip.setOutput("list", json, std::string(std::size_t{200} * 1024, 'w'));

    const auto groups = scanPackages(kTimeout);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0].packages.size(), 3000u);
    EXPECT_EQ(groups[0].packages.front().name, "package-10000");
    EXPECT_EQ(groups[0].packages.back().name, "package-12999");
}

TEST(PackageScanner, OddOutputGivesNoPackages)
{
    for (const char* text :
         {"", "null", "[]", "{}", "not json", R"({"dependencies":[]})", R"({"dependencies":"x"})",
          R"([{"dependencies":{}}])", R"({"dependencies":{"a":{}})", "\xff\xfe{"}) {
        EXPECT_TRUE(parseNpmList(text).empty()) << text;
        EXPECT_TRUE(parsePipList(text).empty()) << text;
    }
    // Valid JSON nested deeper than any listing is refused before it is parsed.
    const std::string shallow = R"({"dependencies":{"a":[[]]}})";
    const std::string deep =
        R"({"dependencies":{"a":)" + std::string(100, '[') + std::string(100, ']') + "}}";
    EXPECT_EQ(parseNpmList(shallow), (Parsed{{"a", ""}}));
    EXPECT_TRUE(parseNpmList(deep).empty());
    EXPECT_TRUE(parsePipList("[" + std::string(100, '[') + std::string(100, ']') + "]").empty());
    EXPECT_EQ(parseNpmList(R"({"dependencies":{"b":{"version":1},"a":{"version":"1"}}})"),
              (Parsed{{"b", ""}, {"a", "1"}}));
    // pip's top level must be an array of objects.
    for (const char* text : {R"({"name":"a"})", R"([{"name":"a"},"b"])", R"([{"name":"a"},null])",
                             R"([{"name":1}])", R"([{"name":null,"version":"1"}])"})
        EXPECT_TRUE(parsePipList(text).empty()) << text;
    for (const char* text :
         {"", "\n\n", "no parentheses", "(1.0)", ") backwards (", "a (default: 1)", "a (,,)"})
        EXPECT_TRUE(parseGemList(text).empty()) << text;
    EXPECT_TRUE(parseBrewList("\n \n  \n").empty());
    EXPECT_EQ(parseBrewList("a\tb 1\n"), (Parsed{{"a\tb", "1"}}));
}

TEST(PackageScanner, ProtectedNames)
{
    const struct
    {
        const char* name;
        M manager;
        bool expected;
    } cases[] = {
        {"npm", M::npm, true},          {"corepack", M::npm, true},
        {"NPM", M::npm, false},         {"npm-check", M::npm, false},
        {"pip", M::pip, true},          {"Setuptools", M::pip, true},
        {"WHEEL", M::pip, true},        {"set_up.tools", M::pip, false},
        {"setup_tools", M::pip, false}, {"requests", M::pip, false},
        {"bundler", M::gem, true},      {"rubygems-update", M::gem, true},
        {"Bundler", M::gem, false},     {"rubygems_update", M::gem, false},
        {"npm", M::brewFormula, false}, {"wget", M::brewCask, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isProtected(c.name, c.manager), c.expected) << c.name;
    EXPECT_EQ(normalizedPipName("Zope.Interface_X-y"), "zope-interface-x-y");
    EXPECT_FALSE(protectedNames().contains(M::brewFormula));
    EXPECT_FALSE(protectedNames().contains(M::brewCask));
}
