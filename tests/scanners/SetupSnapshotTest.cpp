// Exporting the setup snapshot through stand-in package managers into a folder of a fake Mac.
#include "app/scanners/SetupSnapshot.h"

#include <algorithm>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/MacFileSystem.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInBrew.h"
#include "tests/support/StandInPackageManager.h"

using namespace veldo::scanners::SetupSnapshot;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInBrew;
using veldo::testsupport::StandInPackageManager;
using Strings = std::vector<std::string>;
using namespace veldo::testsupport::literals;

namespace {

// For exports that hang, and for those that end by themselves: a time-out a loaded machine's
// stand-ins keep well within.
constexpr std::chrono::milliseconds kShortTimeout = std::chrono::seconds(2);
constexpr std::chrono::milliseconds kTimeout = std::chrono::seconds(60);
const std::string kDot = " \u00B7 ";

MacPath snapshotFolder(const FakeMac& mac)
{
    return mac.mkdir(mac.home().appendingPathComponent("Snapshot"));
}

Strings namesIn(const MacPath& folder)
{
    auto names = veldo::platform::listDirectory(folder);
    EXPECT_TRUE(names.has_value());
    Strings sorted = names ? *names : Strings{};
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

// Puts the file's modification time an hour in the past.
void makeOld(const FakeMac& mac, const MacPath& path)
{
    struct timespec times[2];
    ASSERT_EQ(::clock_gettime(CLOCK_REALTIME, &times[0]), 0);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, mac.host(path).c_str(), times, 0), 0);
}

} // namespace

TEST(SetupSnapshot, Summary)
{
    const struct
    {
        Strings exported, failed, notes;
        std::string expected;
    } cases[] = {
        {{}, {}, {}, "No package managers found to export."},
        {{}, {}, {"npm reported dependency warnings"}, "No package managers found to export."},
        {{"Brewfile", "npm-global.txt"}, {}, {}, "Exported Brewfile, npm-global.txt"},
        {{}, {"requirements.txt"}, {}, "Could not export requirements.txt"},
        {{"Brewfile", "npm-global.txt"},
         {},
         {"npm reported dependency warnings"},
         "Exported Brewfile, npm-global.txt" + kDot + "npm reported dependency warnings"},
        {{"npm-global.txt"},
         {"Brewfile", "gems.txt"},
         {"a", "b"},
         "Exported npm-global.txt" + kDot + "Could not export Brewfile, gems.txt" + kDot + "a" +
             kDot + "b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(snapshotSummary(c.exported, c.failed, c.notes), c.expected);
}

TEST(SetupSnapshot, NoManagerWritesNothing)
{
    FakeMac mac;
    const MacPath folder = snapshotFolder(mac);
    EXPECT_EQ(exportDeveloperSnapshot(folder, kTimeout), "No package managers found to export.");
    EXPECT_TRUE(namesIn(folder).empty());
}

TEST(SetupSnapshot, EveryManagerReplacesItsFile)
{
    FakeMac mac;
    StandInBrew brew(mac);
    StandInPackageManager pip(mac, "pip3");
    StandInPackageManager npm(mac, "npm");
    // Any gem will do here, the system's own too.
    StandInPackageManager gem(mac, "gem", "/usr/bin"_mac);
    pip.setOutput("freeze", "requests==2.32.3\nurllib3==2.2.1\n");
    npm.setOutput("ls", "/opt/homebrew/lib\n├── npm@10.8.1\n└── typescript@5.4.5\n",
                  "npm ERR! missing: left-pad@1.3.0\n", 1);
    gem.setOutput("list", "rake (13.2.1)\nbundler (default: 2.5.11)\n");

    const MacPath folder = snapshotFolder(mac);
    for (const char* name : {"Brewfile", "requirements.txt", "npm-global.txt", "gems.txt"})
        mac.write(folder.appendingPathComponent(name), "old\n");
    makeOld(mac, folder.appendingPathComponent("Brewfile"));

    EXPECT_EQ(exportDeveloperSnapshot(folder, kTimeout),
              "Exported Brewfile, requirements.txt, npm-global.txt, gems.txt" + kDot +
                  "npm reported dependency warnings");
    EXPECT_EQ(mac.contents(folder.appendingPathComponent("Brewfile")), "brew \"wget\"\n");
    EXPECT_EQ(mac.contents(folder.appendingPathComponent("requirements.txt")),
              "requests==2.32.3\nurllib3==2.2.1\n");
    EXPECT_EQ(mac.contents(folder.appendingPathComponent("npm-global.txt")),
              "/opt/homebrew/lib\n├── npm@10.8.1\n└── typescript@5.4.5\n");
    EXPECT_EQ(mac.contents(folder.appendingPathComponent("gems.txt")),
              "rake (13.2.1)\nbundler (default: 2.5.11)\n");
    EXPECT_EQ(namesIn(folder),
              (Strings{"Brewfile", "gems.txt", "npm-global.txt", "requirements.txt"}));

    // brew writes the file itself, at its host path.
    EXPECT_EQ(brew.calls(),
              Strings{"[bundle][dump][--file=" +
                      mac.host(folder.appendingPathComponent("Brewfile")) + "][--force]"});
    EXPECT_EQ(pip.calls(), Strings{"[freeze]"});
    EXPECT_EQ(npm.calls(), Strings{"[ls][-g][--depth=0]"});
    EXPECT_EQ(gem.calls(), (Strings{"[list][--local]"}));
}

TEST(SetupSnapshot, FailedExportsAreNamedAndOthersGoOn)
{
    const struct
    {
        const char* name;
        std::string brewMode; // "" (writes), "no-file", "recorded" (exit 1), or no brew: "-"
        bool oldBrewfile;     // an hour-old Brewfile lies in the folder before
        int pipExit;          // pip3's "freeze"
        bool pipHangs;
        std::optional<std::string> npmListing; // npm's "ls", exit 0; none: no npm
        std::string expected;
    } cases[] = {
        {"pip freeze fails", "-", false, 1, false, std::nullopt,
         "Could not export requirements.txt"},
        {"pip freeze times out", "-", false, 0, true, std::nullopt,
         "Could not export requirements.txt"},
        {"empty npm listing", "-", false, 0, false, "",
         "Exported requirements.txt" + kDot + "Could not export npm-global.txt"},
        {"brew exits 1", "recorded", false, 0, false, "a\n",
         "Exported requirements.txt, npm-global.txt" + kDot + "Could not export Brewfile"},
        {"brew writes nothing", "no-file", false, 0, false, "a\n",
         "Exported requirements.txt, npm-global.txt" + kDot + "Could not export Brewfile"},
        // The old Brewfile is still there but brew did not write it: not a fresh snapshot.
        {"brew writes nothing over an old Brewfile", "no-file", true, 0, false, "a\n",
         "Exported requirements.txt, npm-global.txt" + kDot + "Could not export Brewfile"},
        {"brew writes over an old Brewfile", "", true, 0, false, "a\n",
         "Exported Brewfile, requirements.txt, npm-global.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMac mac;
        std::optional<StandInBrew> brew;
        if (c.brewMode != "-") {
            brew.emplace(mac);
            if (!c.brewMode.empty())
                brew->setMode("bundle", c.brewMode);
        }
        StandInPackageManager pip(mac, "pip3");
        pip.setOutput("freeze", "requests==2.32.3\n", "", c.pipExit);
        if (c.pipHangs)
            pip.setHangs("freeze");
        std::optional<StandInPackageManager> npm;
        if (c.npmListing) {
            npm.emplace(mac, "npm");
            npm->setOutput("ls", *c.npmListing);
        }
        const MacPath folder = snapshotFolder(mac);
        const MacPath brewfile = folder.appendingPathComponent("Brewfile");
        if (c.oldBrewfile) {
            mac.write(brewfile, "brew \"old\"\n");
            makeOld(mac, brewfile);
        }

        EXPECT_EQ(exportDeveloperSnapshot(folder, c.pipHangs ? kShortTimeout : kTimeout),
                  c.expected);
        if (c.oldBrewfile && c.brewMode == "no-file") {
            EXPECT_EQ(mac.contents(brewfile), "brew \"old\"\n"); // nothing is deleted
        }
        EXPECT_EQ(veldo::platform::exists(folder.appendingPathComponent("requirements.txt")),
                  c.pipExit == 0 && !c.pipHangs);
        EXPECT_EQ(veldo::platform::exists(folder.appendingPathComponent("npm-global.txt")),
                  c.npmListing && !c.npmListing->empty());
    }
}

TEST(SetupSnapshot, AFileThatCannotBeWrittenIsNamedAndLeftAlone)
{
    FakeMac mac;
    StandInPackageManager pip(mac, "pip3");
    StandInPackageManager gem(mac, "gem");
    pip.setOutput("freeze", "requests==2.32.3\n");
    gem.setOutput("list", "rake (13.2.1)\n");
    const MacPath folder = snapshotFolder(mac);
    // A folder stands where requirements.txt would go.
    mac.write(folder.appendingPathComponent("requirements.txt/keep"), "kept");

    EXPECT_EQ(exportDeveloperSnapshot(folder, kTimeout),
              "Exported gems.txt" + kDot + "Could not export requirements.txt");
    EXPECT_EQ(mac.contents(folder.appendingPathComponent("requirements.txt/keep")), "kept");
    EXPECT_EQ(namesIn(folder), (Strings{"gems.txt", "requirements.txt"}));

    // A folder that is not there: every file fails, nothing is made.
    const MacPath missing = mac.home().appendingPathComponent("Missing");
    EXPECT_EQ(exportDeveloperSnapshot(missing, kTimeout),
              "Could not export requirements.txt, gems.txt");
    EXPECT_FALSE(veldo::platform::exists(missing));
}
