// The Linux application registry: bundles of a fake Mac's application folders by identifier.
#include "platform/ApplicationRegistry.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::platform::systemApplicationRegistry;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

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
    makeApp(mac, "/Applications/Example.app"_mac, "com.example.app");
    makeApp(mac, "/Applications/Tools/Example Beta.app"_mac, "COM.EXAMPLE.APP");
    makeApp(mac, "/Applications/Tools/Deeper/Example Old.app"_mac, "com.example.app");
    makeApp(mac, "/Applications/Other.app"_mac, "com.example.other");
    makeApp(mac, home.appendingPathComponent("Applications/Example.app"), "com.example.app");
    makeApp(mac, "/Volumes/Backup/Applications/Example.app"_mac, "com.example.app");
    makeApp(mac, "/Volumes/Backup/Example.app"_mac, "com.example.app");
    makeApp(mac, "/System/Applications/Utilities/Example.app"_mac, "com.example.app");
    mac.mkdir("/Applications/NoInfo.app/Contents"_mac);
    mac.write("/Applications/Broken.app/Contents/Info.plist"_mac, "garbage");

    const auto& registry = systemApplicationRegistry();
    EXPECT_EQ(registry.applicationURLs("com.example.app"),
              (std::vector<MacPath>{"/Applications/Example.app"_mac,
                                    "/Applications/Tools/Example Beta.app"_mac,
                                    home.appendingPathComponent("Applications/Example.app"),
                                    "/System/Applications/Utilities/Example.app"_mac,
                                    "/Volumes/Backup/Applications/Example.app"_mac}));
    EXPECT_EQ(registry.applicationURLs("com.example.other"),
              std::vector<MacPath>{"/Applications/Other.app"_mac});
    EXPECT_TRUE(registry.applicationURLs("com.example").empty());
    EXPECT_TRUE(registry.applicationURLs("").empty());
}

TEST(ApplicationRegistry, SeesAppsAddedRemovedAndRenamedBetweenTwoQuestions)
{
    FakeMac mac;
    makeApp(mac, "/Applications/Example.app"_mac, "com.example.app");
    makeApp(mac, "/Applications/Tools/Other.app"_mac, "com.example.other");
    const auto& registry = systemApplicationRegistry();
    auto urls = [&](const char* identifier) { return registry.applicationURLs(identifier); };
    ASSERT_EQ(urls("com.example.app"), std::vector<MacPath>{"/Applications/Example.app"_mac});

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
         [&] { makeApp(mac, "/Applications/Added.app"_mac, "com.example.app"); },
         "com.example.app",
         {"/Applications/Added.app"_mac, "/Applications/Example.app"_mac}},
        {"added in a subfolder",
         [&] { makeApp(mac, "/Applications/Tools/Nested.app"_mac, "com.example.nested"); },
         "com.example.nested",
         {"/Applications/Tools/Nested.app"_mac}},
        {"renamed",
         [&] {
             std::filesystem::rename(mac.host("/Applications/Example.app"_mac),
                                     mac.host("/Applications/Renamed.app"_mac));
         },
         "com.example.app",
         {"/Applications/Added.app"_mac, "/Applications/Renamed.app"_mac}},
        {"removed",
         [&] { std::filesystem::remove_all(mac.host("/Applications/Added.app"_mac)); },
         "com.example.app",
         {"/Applications/Renamed.app"_mac}},
        {"removed from a subfolder",
         [&] { std::filesystem::remove_all(mac.host("/Applications/Tools/Other.app"_mac)); },
         "com.example.other",
         {}},
        {"information dictionary written later",
         [&] {
             mac.mkdir("/Applications/Copying.app/Contents"_mac);
             EXPECT_TRUE(urls("com.example.copying").empty());
             std::this_thread::sleep_for(std::chrono::milliseconds(150));
             makeApp(mac, "/Applications/Copying.app"_mac, "com.example.copying");
         },
         "com.example.copying",
         {"/Applications/Copying.app"_mac}},
        {"new volume",
         [&] { makeApp(mac, "/Volumes/Disk/Applications/V.app"_mac, "com.example.v"); },
         "com.example.v",
         {"/Volumes/Disk/Applications/V.app"_mac}},
    };
    for (const Step& step : steps) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        (void)urls("com.example.app"); // an index of the state before the change
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        step.change();
        EXPECT_EQ(urls(step.identifier), step.expected) << step.what;
    }
}
