// The cleanup report: its totals, its JSON text, its file name and its write.
#include <chrono>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "app/leftovers/CleanupReportExport.h"
#include "platform/MacFileSystem.h"
#include "tests/support/FakeMac.h"

using namespace veldo::leftovers;
using veldo::core::InstalledApp;
using veldo::core::LeftoverCategory;
using veldo::core::LeftoverItem;
using veldo::core::MatchConfidence;
using veldo::platform::MacPath;
using veldo::platform::ManualClock;
using veldo::testsupport::FakeMac;

namespace {

// 2026-03-01T12:00:00Z and three quarters of a second.
const ManualClock::TimePoint kNow =
    ManualClock::TimePoint(std::chrono::seconds(1'772'366'400)) + std::chrono::milliseconds(750);

InstalledApp toolApp()
{
    InstalledApp app;
    app.url = MacPath("/Applications/Tool.app");
    app.name = "Tool";
    app.bundleID = "com.example.tool";
    app.version = "2.1";
    return app;
}

const std::vector<LeftoverItem> kItems{
    {MacPath("/Applications/Tool.app"), LeftoverCategory::application, 5000, false,
     MatchConfidence::certain},
    {MacPath("/Library/LaunchDaemons/com.example.tool.plist"), LeftoverCategory::launchAgents, 300,
     true, MatchConfidence::high},
    {MacPath("/Users/u/Library/Caches/Café"), LeftoverCategory::caches, 40, false,
     MatchConfidence::medium},
    {MacPath("/Users/u/Library/Caches/Café"), LeftoverCategory::supportFiles, 2, false,
     MatchConfidence::low},
};

std::string readHost(const std::string& hostPath)
{
    std::ifstream in(hostPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(CleanupReport, EncodesTheAppTheItemsAndTheSelection)
{
    const ManualClock clock(kNow);
    // A selected path twice on the list marks both items; one that matches nothing changes
    // nothing.
    const auto report = CleanupReport::make(
        toolApp(), kItems,
        {"/Users/u/Library/Caches/Café", "/Applications/Tool.app", "/Applications/Other.app"},
        clock);
    EXPECT_EQ(report.generatedAt, kNow);

    const auto text = encodedCleanupReport(report);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, R"({
  "appName": "Tool",
  "appPath": "/Applications/Tool.app",
  "bundleID": "com.example.tool",
  "generatedAt": "2026-03-01T12:00:00Z",
  "itemCount": 4,
  "items": [
    {
      "category": "Application",
      "confidence": "Certain",
      "path": "/Applications/Tool.app",
      "requiresAdmin": false,
      "selected": true,
      "sizeBytes": 5000
    },
    {
      "category": "Launch Agents & Daemons",
      "confidence": "High",
      "path": "/Library/LaunchDaemons/com.example.tool.plist",
      "requiresAdmin": true,
      "selected": false,
      "sizeBytes": 300
    },
    {
      "category": "Caches",
      "confidence": "Medium",
      "path": "/Users/u/Library/Caches/Café",
      "requiresAdmin": false,
      "selected": true,
      "sizeBytes": 40
    },
    {
      "category": "Application Support",
      "confidence": "Low",
      "path": "/Users/u/Library/Caches/Café",
      "requiresAdmin": false,
      "selected": true,
      "sizeBytes": 2
    }
  ],
  "selectedBytes": 5042,
  "selectedItemCount": 3,
  "totalBytes": 5342,
  "version": "2.1"
})");
}

TEST(CleanupReport, LeavesOutWhatTheAppLacks)
{
    InstalledApp app = toolApp();
    app.bundleID.reset();
    app.version.reset();
    const auto text = encodedCleanupReport(CleanupReport::make(app, {}, {"/x"}, ManualClock(kNow)));
    ASSERT_TRUE(text);
    const auto json = nlohmann::json::parse(*text);
    EXPECT_EQ(json, nlohmann::json::parse(R"({"appName": "Tool",
        "appPath": "/Applications/Tool.app", "generatedAt": "2026-03-01T12:00:00Z",
        "itemCount": 0, "items": [], "selectedBytes": 0, "selectedItemCount": 0,
        "totalBytes": 0})"));
}

TEST(CleanupReport, WritesDatesInUtcWithWholeSeconds)
{
    using std::chrono::seconds;
    using TimePoint = veldo::core::Date;
    EXPECT_EQ(iso8601UTC(TimePoint(seconds(0))), "1970-01-01T00:00:00Z");
    EXPECT_EQ(iso8601UTC(TimePoint(seconds(951'868'799))), "2000-02-29T23:59:59Z");
    EXPECT_EQ(iso8601UTC(TimePoint(seconds(-1))), "1969-12-31T23:59:59Z");
    EXPECT_EQ(iso8601UTC(TimePoint(seconds(-1)) + std::chrono::milliseconds(999)),
              "1969-12-31T23:59:59Z");
}

TEST(CleanupReport, RefusesTextThatIsNotUtf8)
{
    InstalledApp app = toolApp();
    app.name = "Tool\xff";
    const auto text = encodedCleanupReport(CleanupReport::make(app, {}, {}, ManualClock(kNow)));
    ASSERT_FALSE(text);
    EXPECT_EQ(text.error().code, veldo::ErrorCode::invalidArgument);
}

TEST(CleanupReport, ProposesAFileNameFromTheAppName)
{
    const struct
    {
        const char* name;
        const char* sanitized;
    } cases[] = {
        {"Tool: Pro/2", "Tool- Pro-2"},
        {"Café", "Café"},
        {"Cafe\u0301", "Cafe\u0301"}, // a combining mark is kept
        {"", ""},
        {"My_App - Beta", "My_App - Beta"},
        {"..", "--"},
        {"a  b", "a  b"},                      // nothing collapsed
        {"日本語 ٣", "日本語 ٣"},              // letters and digits of any script
        {"Ⅻ½", "Ⅻ½"},                          // numbers that are not decimal digits
        {"Tool\tX\u00a0Y", "Tool-X-Y"},        // only the plain space stays
        {"\U0001F468\u200D\U0001F4BB", "---"}, // one "-" per scalar
        {"Bad\xff\xfe", "Bad--"},              // one per invalid byte
    };
    for (const auto& c : cases)
        EXPECT_EQ(sanitizedReportName(c.name), c.sanitized) << c.name;
    EXPECT_EQ(proposedReportFileName("Café"), "Veldo Report - Café.json");
    EXPECT_EQ(proposedReportFileName(""), "Veldo Report - .json");
}

TEST(CleanupReport, WritesTheFileWholeOrNotAtAll)
{
    FakeMac mac;
    const MacPath destination =
        mac.home().appendingPathComponent("Desktop/Veldo Report - Tool.json");
    mac.write(destination, "old report");
    const auto report = CleanupReport::make(toolApp(), kItems, {}, ManualClock(kNow));

    ASSERT_TRUE(writeCleanupReport(report, destination));
    EXPECT_EQ(readHost(mac.host(destination)), *encodedCleanupReport(report));
    const auto listing = veldo::platform::listDirectory(destination.deletingLastPathComponent());
    ASSERT_TRUE(listing);
    EXPECT_EQ(*listing, std::vector<std::string>{"Veldo Report - Tool.json"});

    // A folder that is gone: an error, and nothing written.
    const MacPath gone = mac.home().appendingPathComponent("Gone/report.json");
    const auto failed = writeCleanupReport(report, gone);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().systemErrno, ENOENT);
    EXPECT_FALSE(veldo::platform::exists(gone.deletingLastPathComponent()));
}
