// The Linux application registry: bundles of a fake Mac's application folders by identifier.
#include "platform/ApplicationRegistry.h"

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
