// The Linux application registry: bundles of a fake Mac's application folders by identifier.
#include "platform/ApplicationRegistry.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"

using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::platform::systemApplicationRegistry;
using veldo::testsupport::FakeMac;

namespace {

void makeApp(const FakeMac& mac, const MacPath& path, const char* identifier)
{
    mac.makeApp(path, PlistValue::Dictionary{{"CFBundleIdentifier", identifier}});
}

} // namespace

TEST(ApplicationRegistry, FindsBundlesOfTheIdentifierInEveryApplicationFolder)
{
    FakeMac mac;
    const MacPath home = mac.home();
    makeApp(mac, "/Applications/Example.app", "com.example.app");
    makeApp(mac, "/Applications/Tools/Example Beta.app", "COM.EXAMPLE.APP");
    makeApp(mac, "/Applications/Tools/Deeper/Example Old.app", "com.example.app");
    makeApp(mac, "/Applications/Other.app", "com.example.other");
    makeApp(mac, home.appendingPathComponent("Applications/Example.app"), "com.example.app");
    makeApp(mac, "/Volumes/Backup/Applications/Example.app", "com.example.app");
    makeApp(mac, "/Volumes/Backup/Example.app", "com.example.app");
    makeApp(mac, "/System/Applications/Utilities/Example.app", "com.example.app");
    mac.mkdir("/Applications/NoInfo.app/Contents");
    mac.write("/Applications/Broken.app/Contents/Info.plist", "garbage");

    const auto& registry = systemApplicationRegistry();
    EXPECT_EQ(
        registry.applicationURLs("com.example.app"),
        (std::vector<MacPath>{"/Applications/Example.app", "/Applications/Tools/Example Beta.app",
                              home.appendingPathComponent("Applications/Example.app"),
                              "/System/Applications/Utilities/Example.app",
                              "/Volumes/Backup/Applications/Example.app"}));
    EXPECT_EQ(registry.applicationURLs("com.example.other"),
              std::vector<MacPath>{"/Applications/Other.app"});
    EXPECT_TRUE(registry.applicationURLs("com.example").empty());
    EXPECT_TRUE(registry.applicationURLs("").empty());
}

TEST(ApplicationRegistry, SeesAppsAddedRemovedAndRenamedBetweenTwoQuestions)
{
    FakeMac mac;
    makeApp(mac, "/Applications/Example.app", "com.example.app");
    makeApp(mac, "/Applications/Tools/Other.app", "com.example.other");
    const auto& registry = systemApplicationRegistry();
    auto urls = [&](const char* identifier) { return registry.applicationURLs(identifier); };
    ASSERT_EQ(urls("com.example.app"), std::vector<MacPath>{"/Applications/Example.app"});

    // Each change waits past the moment an index could miss it, so the kept index is asked.
    struct Step
    {
        const char* what;
        std::function<void()> change;
        const char* identifier;
        std::vector<MacPath> expected;
    };
    const std::vector<Step> steps{
        {"added",
         [&] { makeApp(mac, "/Applications/Added.app", "com.example.app"); },
         "com.example.app",
         {"/Applications/Added.app", "/Applications/Example.app"}},
        {"added in a subfolder",
         [&] { makeApp(mac, "/Applications/Tools/Nested.app", "com.example.nested"); },
         "com.example.nested",
         {"/Applications/Tools/Nested.app"}},
        {"renamed",
         [&] {
             std::filesystem::rename(mac.host("/Applications/Example.app"),
                                     mac.host("/Applications/Renamed.app"));
         },
         "com.example.app",
         {"/Applications/Added.app", "/Applications/Renamed.app"}},
        {"removed",
         [&] { std::filesystem::remove_all(mac.host("/Applications/Added.app")); },
         "com.example.app",
         {"/Applications/Renamed.app"}},
        {"removed from a subfolder",
         [&] { std::filesystem::remove_all(mac.host("/Applications/Tools/Other.app")); },
         "com.example.other",
         {}},
        {"information dictionary written later",
         [&] {
             mac.mkdir("/Applications/Copying.app/Contents");
             EXPECT_TRUE(urls("com.example.copying").empty());
             std::this_thread::sleep_for(std::chrono::milliseconds(150));
             makeApp(mac, "/Applications/Copying.app", "com.example.copying");
         },
         "com.example.copying",
         {"/Applications/Copying.app"}},
        {"new volume",
         [&] { makeApp(mac, "/Volumes/Disk/Applications/V.app", "com.example.v"); },
         "com.example.v",
         {"/Volumes/Disk/Applications/V.app"}},
    };
    for (const Step& step : steps) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        (void)urls("com.example.app"); // an index of the state before the change
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        step.change();
        EXPECT_EQ(urls(step.identifier), step.expected) << step.what;
    }
}
