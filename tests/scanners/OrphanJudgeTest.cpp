// The orphan judge: its claims and their order, its doubts and their wording, the registry memo,
// sandbox documents and the staleness rule, each over an environment built here.
#include "app/scanners/OrphanJudge.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::scanners;
using namespace veldo::scanners::OrphanScanner;
using veldo::core::Date;
using veldo::core::MatchConfidence;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;
using Set = std::unordered_set<std::string>;

namespace {

const Date kNow = Date(1'800'000'000s);

// An environment with nothing installed, running or registered, the labels known and empty.
OrphanScanEnvironment bareEnvironment()
{
    OrphanScanEnvironment env;
    env.home = "/Users/u"_mac;
    env.systemLibrary = "/Library"_mac;
    env.loadedLaunchdLabels = Set{};
    env.isRegisteredWithLaunchServices = [](std::string_view) { return false; };
    env.isCommandInstalled = [](std::string_view) { return false; };
    env.now = kNow;
    return env;
}

Location locationOf(NameStyle style, veldo::core::LeftoverCategory category)
{
    for (const Location& location : locations("/Users/u"_mac, "/Library"_mac)) {
        if (location.style == style && location.category == category)
            return location;
    }
    ADD_FAILURE() << "no such location";
    return {};
}

const Location kCaches = locationOf(NameStyle::bare, veldo::core::LeftoverCategory::caches);
const Location kGroupContainers =
    locationOf(NameStyle::groupPrefixed, veldo::core::LeftoverCategory::groupContainers);
const Location kLaunchAgents =
    locationOf(NameStyle::launchPlist, veldo::core::LeftoverCategory::launchAgents);
const Location kHelperTools =
    locationOf(NameStyle::helperTool, veldo::core::LeftoverCategory::launchAgents);

Candidate candidateIn(const Location& location, std::string_view name)
{
    auto found = candidate(name, location.style);
    EXPECT_TRUE(found) << name;
    return found.value_or(Candidate{});
}

std::string identifierSentence(std::string_view id)
{
    return "No installed app has the identifier " + std::string(id) + ".";
}

} // namespace

TEST(OrphanJudge, ClaimsWithTheirLabels)
{
    struct Case
    {
        const char* name;
        Location location;
        std::function<void(OrphanScanEnvironment&)> setUp;
        const char* label; // nullptr: an orphan
    };
    const auto nothing = [](OrphanScanEnvironment&) {};
    const auto ownBundle = [](OrphanScanEnvironment& e) { e.ownBundleID = "com.vendor.cleaner"; };
    const auto sharedGroup = [](OrphanScanEnvironment& e) {
        e.installedAppGroups = {"group.com.vendor.shared"};
    };
    const auto vendorApp = [](OrphanScanEnvironment& e) {
        e.installedBundleIDs = {"com.vendor.app"};
    };
    const std::vector<Case> cases = {
        {"com.apple.safari", kCaches, nothing, "macOS"},
        {"org.apache.httpd2", kCaches, nothing, "macOS"},
        {"com.vendor.com.apple.plugin", kCaches, nothing, "macOS"},
        {"com.vendor.cleaner.helper", kCaches, ownBundle, "Veldo"},
        {"com.vendor.cleanertools", kCaches, ownBundle, "Veldo"},
        {"com.google.keystone.agent", kCaches, nothing, "shared framework"},
        {"com.adobe.armhelper", kCaches, nothing, "shared framework"},
        {"com.adobe.acrobat", kCaches, nothing, nullptr},
        {"group.com.vendor.shared", kGroupContainers, sharedGroup, "app group of an installed app"},
        // The group claims the identifier in any folder.
        {"com.vendor.shared", kCaches, sharedGroup, "app group of an installed app"},
        {"AB12CD34EF.com.vendor.shared", kGroupContainers,
         [](OrphanScanEnvironment& e) { e.installedAppGroups = {"ab12cd34ef.com.vendor.shared"}; },
         "app group of an installed app"},
        {"AB12CD34EF.com.vendor.shared", kGroupContainers,
         [](OrphanScanEnvironment& e) { e.installedTeamIDs = {"AB12CD34EF"}; },
         "team of an installed app"},
        {"com.vendor.app.helper", kCaches, vendorApp, "installed app"},
        {"com.vendor.app-helper", kCaches, vendorApp, "installed app"},
        {"com.vendor.app.helper.xpc", kCaches, vendorApp, "installed app"},
        {"com.vendor.apphelper", kCaches, vendorApp, nullptr},
        // A parent of an installed identifier of four parts.
        {"com.vendor.suite", kCaches,
         [](OrphanScanEnvironment& e) { e.installedBundleIDs = {"com.vendor.suite.mac"}; },
         "installed app"},
        {"com.vendor.player.agent", kCaches,
         [](OrphanScanEnvironment& e) { e.runningBundleIDs = {"com.vendor.player"}; },
         "installed app"},
        {"com.microsoft.onenote", kCaches,
         [](OrphanScanEnvironment& e) { e.installedBundleIDs = {"com.microsoft.word"}; },
         "vendor with installed apps"},
        // A loaded label of more than two parts names an installed vendor too.
        {"com.jetbrains.toolbox", kCaches,
         [](OrphanScanEnvironment& e) { e.loadedLaunchdLabels = Set{"com.jetbrains.daemon"}; },
         "vendor with installed apps"},
        {"com.vendor.agent.xpc", kCaches,
         [](OrphanScanEnvironment& e) { e.loadedLaunchdLabels = Set{"com.vendor.agent"}; },
         "loaded launchd job"},
        {"com.vendor.Known", kCaches,
         [](OrphanScanEnvironment& e) {
             e.isRegisteredWithLaunchServices = [](std::string_view id) {
                 return id == "com.vendor.Known";
             };
         },
         "app known to LaunchServices"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OrphanScanEnvironment env = bareEnvironment();
        c.setUp(env);
        const Verdict verdict = Judge(env).judge(candidateIn(c.location, c.name), c.location);
        if (c.label) {
            EXPECT_EQ(verdict, Verdict::claimed(c.label));
        } else {
            EXPECT_FALSE(verdict.isClaimed());
        }
    }
}

TEST(OrphanJudge, GroupNameOfTheSystemClaimsItsIdentifier)
{
    Candidate system{"com.vendor.x", "com.vendor.x", "systemgroup.com.vendor.x", std::nullopt,
                     false};
    EXPECT_EQ(Judge(bareEnvironment()).judge(system, kGroupContainers), Verdict::claimed("macOS"));
}

TEST(OrphanJudge, TheFirstClaimThatHoldsWinsAndTheRegistryIsAskedLast)
{
    std::atomic<int> registryCalls = 0;
    OrphanScanEnvironment env = bareEnvironment();
    env.ownBundleID = "com.vendor.app";
    env.installedBundleIDs = {"com.apple.mail", "com.vendor.app", "com.other.app"};
    env.loadedLaunchdLabels = Set{"com.other.app", "com.third.app"};
    env.isRegisteredWithLaunchServices = [&](std::string_view) {
        ++registryCalls;
        return true;
    };
    const Judge judge(env);
    EXPECT_EQ(judge.judge(candidateIn(kCaches, "com.apple.mail"), kCaches),
              Verdict::claimed("macOS"));
    EXPECT_EQ(judge.judge(candidateIn(kCaches, "com.vendor.app"), kCaches),
              Verdict::claimed("Veldo"));
    EXPECT_EQ(judge.judge(candidateIn(kCaches, "com.other.app"), kCaches),
              Verdict::claimed("installed app"));
    EXPECT_EQ(judge.judge(candidateIn(kCaches, "com.third.app"), kCaches),
              Verdict::claimed("loaded launchd job"));
    EXPECT_EQ(registryCalls, 0);
    EXPECT_EQ(judge.judge(candidateIn(kCaches, "com.fourth.app"), kCaches),
              Verdict::claimed("app known to LaunchServices"));
    EXPECT_EQ(registryCalls, 1);
}

TEST(OrphanJudge, DoubtsAreJoinedIntoTheReason)
{
    struct Case
    {
        const char* name;
        Location location;
        std::function<void(OrphanScanEnvironment&)> setUp;
        const char* id;
        const char* doubts; // nullptr: medium with the identifier sentence alone
    };
    const auto nothing = [](OrphanScanEnvironment&) {};
    const std::vector<Case> cases = {
        {"com.vendor.viewer", kCaches, nothing, "com.vendor.viewer", nullptr},
        {"com.smallvendor.viewer", kCaches,
         [](OrphanScanEnvironment& e) { e.installedBundleIDs = {"com.smallvendor.editor"}; },
         "com.smallvendor.viewer", "another app from the same vendor is installed"},
        {"group.com.vendor.shared", kGroupContainers, nothing, "com.vendor.shared",
         "shared app-group storage"},
        {"AB12CD34EF.com.vendor.shared", kGroupContainers, nothing, "com.vendor.shared",
         "shared app-group storage"},
        {"com.vendor.plain", kGroupContainers, nothing, "com.vendor.plain",
         "shared app-group storage"},
        {"com.vendor.agent.plist", kLaunchAgents, nothing, "com.vendor.agent", "background item"},
        {"com.vendor.agent.plist", kLaunchAgents,
         [](OrphanScanEnvironment& e) { e.loadedLaunchdLabels.reset(); }, "com.vendor.agent",
         "background item; loaded jobs couldn't be checked"},
        {"com.vendor.helper", kHelperTools, nothing, "com.vendor.helper", "background item"},
        {"org.python.python", kCaches, nothing, "org.python.python",
         "usually belongs to a command-line tool"},
        {"com.vendor.ffmpeg", kCaches,
         [](OrphanScanEnvironment& e) {
             e.isCommandInstalled = [](std::string_view name) { return name == "ffmpeg"; };
         },
         "com.vendor.ffmpeg",
         "a command-line tool named \u201c"
         "ffmpeg\u201d is installed"},
        {"group.com.smallvendor.shared", kGroupContainers,
         [](OrphanScanEnvironment& e) { e.installedBundleIDs = {"com.smallvendor.editor"}; },
         "com.smallvendor.shared",
         "another app from the same vendor is installed; shared app-group storage"},
        {"com.vendor.tool.plist", kLaunchAgents,
         [](OrphanScanEnvironment& e) {
             e.isCommandInstalled = [](std::string_view name) { return name == "tool"; };
         },
         "com.vendor.tool",
         "background item; a command-line tool named \u201ctool\u201d is installed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OrphanScanEnvironment env = bareEnvironment();
        c.setUp(env);
        const Verdict verdict = Judge(env).judge(candidateIn(c.location, c.name), c.location);
        if (c.doubts) {
            EXPECT_EQ(verdict, Verdict::orphan(MatchConfidence::low,
                                               identifierSentence(c.id) +
                                                   " Review first: " + c.doubts + "."));
        } else {
            EXPECT_EQ(verdict, Verdict::orphan(MatchConfidence::medium, identifierSentence(c.id)));
        }
    }
}

TEST(OrphanJudge, CommandLineToolPrefixSkipsTheCommandTest)
{
    std::vector<std::string> asked;
    OrphanScanEnvironment env = bareEnvironment();
    env.isCommandInstalled = [&](std::string_view name) {
        asked.emplace_back(name);
        return true;
    };
    const Judge judge(env);
    EXPECT_EQ(judge.judge(candidateIn(kCaches, "org.llvm.clangd"), kCaches).reason,
              identifierSentence("org.llvm.clangd") +
                  " Review first: usually belongs to a command-line tool.");
    EXPECT_TRUE(asked.empty());
    judge.judge(candidateIn(kCaches, "com.vendor.Tool"), kCaches);
    EXPECT_EQ(asked, std::vector<std::string>{"Tool"}); // the last part as written
}

TEST(OrphanJudge, RegistryIsAskedOncePerParentOfThreeOrMoreParts)
{
    std::mutex mutex;
    std::vector<std::string> asked;
    OrphanScanEnvironment env = bareEnvironment();
    env.isRegisteredWithLaunchServices = [&](std::string_view id) {
        std::lock_guard lock(mutex);
        asked.emplace_back(id);
        return id == "Com.Known.App";
    };
    const Judge judge(env);
    EXPECT_FALSE(judge.isKnownToLaunchServices("com.vendor"));
    EXPECT_TRUE(asked.empty());

    EXPECT_FALSE(judge.isKnownToLaunchServices("com.vendor.app.x"));
    EXPECT_EQ(asked, (std::vector<std::string>{"com.vendor.app.x", "com.vendor.app"}));
    // Answered from the memo, whatever the case; a sibling asks only for itself.
    const Judge copy = judge;
    EXPECT_FALSE(copy.isKnownToLaunchServices("Com.Vendor.App"));
    EXPECT_FALSE(judge.isKnownToLaunchServices("com.vendor.app.y"));
    EXPECT_EQ(asked,
              (std::vector<std::string>{"com.vendor.app.x", "com.vendor.app", "com.vendor.app.y"}));

    asked.clear();
    EXPECT_TRUE(judge.isKnownToLaunchServices("Com.Known.App.Helper"));
    EXPECT_EQ(asked, (std::vector<std::string>{"Com.Known.App.Helper", "Com.Known.App"}));
    EXPECT_TRUE(judge.isKnownToLaunchServices("com.known.app.other"));
    EXPECT_EQ(asked.size(), 3u); // com.known.app.other, then the remembered parent
    EXPECT_EQ(asked.back(), "com.known.app.other");
}

TEST(OrphanJudge, SandboxDocumentsRaiseADoubtOnlyWhenVisibleEntriesExist)
{
    FakeMac mac;
    OrphanScanEnvironment env = bareEnvironment();
    env.home = mac.home();
    const Location containers =
        locationOf(NameStyle::bare, veldo::core::LeftoverCategory::containers);
    const Location mine{mac.home().appendingPathComponent("Library/Containers"),
                        containers.category, containers.style, false};
    const MacPath base = mine.url;
    mac.write(base.appendingPathComponent("com.vendor.Writer/Data/Documents/Novel.txt"), "x");
    mac.write(base.appendingPathComponent("com.vendor.hidden/Data/Documents/.DS_Store"), "x");
    mac.mkdir(base.appendingPathComponent("com.vendor.empty/Data/Documents"));
    mac.mkdir(base.appendingPathComponent("com.vendor.nodocs/Data"));

    const Judge judge(env);
    const std::string doubt = " Review first: its sandbox holds documents.";
    EXPECT_EQ(judge.judge(candidateIn(mine, "com.vendor.Writer"), mine).reason,
              identifierSentence("com.vendor.Writer") + doubt);
    for (const char* name : {"com.vendor.hidden", "com.vendor.empty", "com.vendor.nodocs"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(judge.judge(candidateIn(mine, name), mine),
                  Verdict::orphan(MatchConfidence::medium, identifierSentence(name)));
    }
    // Outside the containers folder the documents are not looked at.
    const Location cachesHere{mac.home().appendingPathComponent("Library/Containers"),
                              veldo::core::LeftoverCategory::caches, NameStyle::bare, false};
    EXPECT_EQ(judge.judge(candidateIn(cachesHere, "com.vendor.Writer"), cachesHere).confidence,
              MatchConfidence::medium);
}

TEST(OrphanJudge, StalenessAroundThirtyDays)
{
    const Judge judge(bareEnvironment());
    const std::string reason = identifierSentence("com.vendor.app");
    struct Case
    {
        const char* what;
        std::optional<Date> date;
        MatchConfidence confidence;
        const char* note;
    };
    const std::vector<Case> cases = {
        {"31 days", kNow - 31 * 24h, MatchConfidence::medium, ""},
        {"30 days and a second", kNow - 30 * 24h - 1s, MatchConfidence::medium, ""},
        {"exactly 30 days", kNow - 30 * 24h, MatchConfidence::low,
         " Review first: changed 30 days ago."},
        {"2 days", kNow - 48h, MatchConfidence::low, " Review first: changed 2 days ago."},
        {"1.5 days", kNow - 36h, MatchConfidence::low, " Review first: changed 1 day ago."},
        {"23 hours", kNow - 23h, MatchConfidence::low, " Review first: changed today."},
        {"in the future", kNow + 72h, MatchConfidence::low, " Review first: changed today."},
        {"no date", std::nullopt, MatchConfidence::low,
         " Review first: its last change date is unknown."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(judge.applyingStaleness(MatchConfidence::medium, reason, c.date),
                  std::make_pair(c.confidence, reason + c.note));
    }
    // Only a medium finding is lowered.
    EXPECT_EQ(judge.applyingStaleness(MatchConfidence::low, reason, kNow),
              std::make_pair(MatchConfidence::low, reason));
    EXPECT_EQ(judge.applyingStaleness(MatchConfidence::low, reason, std::nullopt),
              std::make_pair(MatchConfidence::low, reason));
}

TEST(OrphanJudge, CopiesShareTheMemoAcrossThreads)
{
    std::atomic<int> registryCalls = 0;
    OrphanScanEnvironment env = bareEnvironment();
    env.isRegisteredWithLaunchServices = [&](std::string_view id) {
        ++registryCalls;
        return id.ends_with("7");
    };
    const Judge judge(env);
    std::vector<std::thread> threads;
    std::atomic<int> wrong = 0;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, copy = judge] {
            for (int i = 0; i < 200; ++i) {
                const std::string id = "com.vendor.app" + std::to_string(i % 50);
                if (copy.isKnownToLaunchServices(id) != id.ends_with("7"))
                    ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
    // Each identifier is asked at least once and, racing copies aside, rarely twice.
    EXPECT_GE(registryCalls, 50);
    EXPECT_LE(registryCalls, 4 * 50);
    const int before = registryCalls;
    EXPECT_TRUE(judge.isKnownToLaunchServices("com.vendor.app17"));
    EXPECT_EQ(registryCalls, before);
}
