// The installed-app protection policy: each rule's sentence, their order, and resolved links.
#include "app/core/AppProtection.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/MainBundle.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

namespace {

const std::string kSystemReason = "Apps inside /System are part of macOS and can't be removed.";
const std::string kAppleReason = "This is a protected Apple/system app.";
const std::string kSelfReason = "Veldo cannot uninstall itself while running.";
const std::string kNameReason = "Veldo will not remove this protected app.";

std::string embeddedReason(const std::string& host)
{
    return "This app is part of \u201C" + host +
           "\u201D. Removing it would break that app, so remove \u201C" + host + "\u201D instead.";
}

InstalledApp app(std::string path, std::string name, std::optional<std::string> bundleID,
                 std::vector<std::string> alternateNames = {})
{
    InstalledApp a;
    a.url = MacPath(std::move(path));
    a.name = std::move(name);
    a.bundleID = std::move(bundleID);
    a.alternateNames = std::move(alternateNames);
    return a;
}

std::string describe(const AppProtectionVerdict& v)
{
    return v.isProtected ? "protected: " + v.reason.value_or("(no reason)") : "not protected";
}

} // namespace

TEST(AppProtection, RulesInOrder)
{
    FakeMac mac;
    const std::optional<MacPath> own = MacPath("/Applications/Veldo.app");
    const std::optional<std::string> ownID = "orbelkan.Veldo";
    struct Case
    {
        InstalledApp app;
        std::optional<std::string> reason;
    };
    const std::vector<Case> cases = {
        {app("/System/Applications/Calculator.app", "Calculator", "com.example.calc"),
         kSystemReason},
        {app("/System", "System", std::nullopt), kSystemReason},
        {app("/Systemic/Tool.app", "Tool", "com.example.tool"), std::nullopt},
        // /System outranks the embedded rule.
        {app("/System/Library/CoreServices/Finder.app/Contents/Applications/Go.app", "Go",
             std::nullopt),
         kSystemReason},
        {app("/Applications/Xcode.app/Contents/Applications/Instruments.app", "Instruments",
             "com.apple.dt.Instruments"),
         embeddedReason("Xcode.app")},
        {app("/Applications/Xcode.app/Contents/Frameworks/Kit.Framework/Versions/A/Helper.app",
             "Helper", std::nullopt),
         embeddedReason("Kit.Framework")},
        {app("/Library/Extras/Stuff.bundle/Contents/Resources/Finder.app", "Finder",
             "com.apple.finder"),
         embeddedReason("Stuff.bundle")},
        {app("/Applications/Safari.app", "Safari", "COM.APPLE.Safari"), kAppleReason},
        {app("/Applications/Utilities/Terminal.app", "Terminal", "com.apple.Terminal"),
         kAppleReason},
        {app("/Applications/Safari Technology Preview.app", "Safari Technology Preview",
             "com.apple.SafariTechnologyPreview"),
         std::nullopt},
        // The running program: same identifier at another path, same path, or lying inside.
        {app("/Users/u/Downloads/Veldo 2.app", "Veldo 2", "ORBELKAN.veldo"), kSelfReason},
        {app("/Applications/Veldo.app", "Renamed", std::nullopt), kSelfReason},
        {app("/Applications/Veldo.app/", "Renamed", "com.example.other"), kSelfReason},
        {app("/Applications", "Applications", std::nullopt), kSelfReason},
        {app("/Applications/Veldo", "Veldo", std::nullopt), kNameReason},
        {app("/Applications/Veldo.app.bak", "Backup", std::nullopt), std::nullopt},
        // Names, without or with a bundle identifier.
        {app("/Users/u/Applications/Finder.app", "Finder", "com.example.finder"), kNameReason},
        {app("/Applications/Settings.app", "Settings", std::nullopt, {"System Settings"}),
         kNameReason},
        {app("/Applications/DOCK.app", "DOCK", std::nullopt), kNameReason},
        {app("/Applications/Docker.app", "Docker", "com.docker.docker", {"Docker Desktop"}),
         std::nullopt},
    };
    for (const Case& c : cases) {
        const AppProtectionVerdict got = appProtectionReason(c.app, own, ownID);
        const AppProtectionVerdict expected{c.reason.has_value(), c.reason};
        EXPECT_EQ(got, expected) << c.app.url.path() << "\n  got: " << describe(got);
    }
}

TEST(AppProtection, WithoutOwnBundleOrIdentifier)
{
    FakeMac mac;
    const auto copy = app("/Applications/Copy.app", "Copy", "orbelkan.Veldo");
    EXPECT_FALSE(appProtectionReason(copy, std::nullopt, std::nullopt).isProtected);
    EXPECT_EQ(appProtectionReason(copy, std::nullopt, std::string("orbelkan.veldo")).reason,
              kSelfReason);
    EXPECT_FALSE(
        appProtectionReason(copy, MacPath("/Applications/Veldo.app"), std::nullopt).isProtected);
}

TEST(AppProtection, PathsAreComparedWithLinksResolved)
{
    FakeMac mac;
    mac.mkdir("/Applications/Veldo.app/Contents"_mac);
    mac.mkdir("/System/Applications/Calculator.app"_mac);
    mac.mkdir("/Applications/Host.app/Contents/Helpers/Inner.app"_mac);
    mac.symlink("/Applications/Calc.app"_mac, "/System/Applications/Calculator.app");
    mac.symlink("/Applications/Shortcut.app"_mac, "Veldo.app");
    mac.symlink("/Applications/Inner.app"_mac, "Host.app/Contents/Helpers/Inner.app");
    mac.symlink("/Applications/Links/Veldo.app"_mac, "/Applications/Veldo.app");
    const std::optional<MacPath> own = MacPath("/Applications/Veldo.app");

    EXPECT_EQ(
        appProtectionReason(app("/Applications/Calc.app", "Calc", std::nullopt), own, std::nullopt)
            .reason,
        kSystemReason);
    EXPECT_EQ(appProtectionReason(app("/Applications/Shortcut.app", "Shortcut", std::nullopt), own,
                                  std::nullopt)
                  .reason,
              kSelfReason);
    EXPECT_EQ(appProtectionReason(app("/Applications/Inner.app", "Inner", std::nullopt), own,
                                  std::nullopt)
                  .reason,
              embeddedReason("Host.app"));
    // The program's own bundle reached through a link is the same program.
    EXPECT_EQ(appProtectionReason(app("/Applications/Veldo.app", "X", std::nullopt),
                                  MacPath("/Applications/Links/Veldo.app"), std::nullopt)
                  .reason,
              kSelfReason);
}

TEST(AppProtection, FillsInTheRunningProgram)
{
    FakeMac mac;
    EXPECT_EQ(veldo::platform::mainBundleURL(), MacPath("/Applications/Veldo.app"));
    EXPECT_EQ(veldo::platform::mainBundleIdentifier(), "orbelkan.Veldo");
    EXPECT_EQ(appProtectionReason(app("/Applications/Other.app", "Other", "ORBELKAN.VELDO")).reason,
              kSelfReason);
    EXPECT_EQ(appProtectionReason(app("/Applications/Veldo.app", "V", std::nullopt)).reason,
              kSelfReason);

    veldo::platform::testing::setMainBundleURL(MacPath("/Users/u/Applications/Veldo.app"));
    const auto atDefault = appProtectionReason(app("/Applications/Veldo.app", "V", std::nullopt));
    const auto atNew = appProtectionReason(app("/Users/u/Applications", "Apps", std::nullopt));
    veldo::platform::testing::setMainBundleURL(std::nullopt);
    EXPECT_FALSE(atDefault.isProtected);
    EXPECT_EQ(atNew.reason, kSelfReason);
}

TEST(AppProtection, ContainingBundleName)
{
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"/Applications/Xcode.app/Contents/Applications/Instruments.app", "Xcode.app"},
        {"/A/Outer.app/Contents/PlugIns/Ext.APPEX/Contents/Inner.app", "Ext.APPEX"},
        {"/Library/Extensions/Driver.kext/Contents/Tool.app", "Driver.kext"},
        {"/A/x.xpc/y.systemextension/z.plugin/App.app", "z.plugin"},
        {"/Applications/Foo.app", std::nullopt},
        {"/Applications/Stuff.apps/Foo.app", std::nullopt},
        {"/", std::nullopt},
    };
    for (const auto& [path, host] : cases)
        EXPECT_EQ(containingBundleName(path), host) << path;
}

TEST(AppProtection, ByBundlePath)
{
    FakeMac mac;
    mac.makeApp("/Applications/Safari.app"_mac, veldo::platform::PlistValue::Dictionary{
                                                    {"CFBundleIdentifier", "com.apple.Safari"}});
    mac.makeApp("/Applications/Editor.app"_mac, veldo::platform::PlistValue::Dictionary{
                                                    {"CFBundleIdentifier", "com.example.editor"}});
    EXPECT_EQ(appProtectionReason(MacPath("/Applications/Safari.app")).reason, kAppleReason);
    EXPECT_FALSE(appProtectionReason(MacPath("/Applications/Editor.app")).isProtected);
    // Not loadable as an app: judged by its path.
    EXPECT_EQ(appProtectionReason(MacPath("/System/Applications/Missing.APP")).reason,
              kSystemReason);
    EXPECT_EQ(appProtectionReason(MacPath("/Applications/Host.app/Contents/Inner.app")).reason,
              embeddedReason("Host.app"));
}
