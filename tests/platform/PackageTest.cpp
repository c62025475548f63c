// Package folders and the listing of the app bundles of an application folder.
#include "platform/Package.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"

using namespace veldo::platform;
using veldo::testsupport::FakeMac;

namespace {

std::vector<std::string> paths(const std::vector<MacPath>& bundles)
{
    std::vector<std::string> out;
    for (const auto& b : bundles)
        out.push_back(b.path());
    return out;
}

} // namespace

TEST(Package, PackageExtensionsIncludeInstallerPackagesAndComponents)
{
    FakeMac mac;
    const struct
    {
        const char* name;
        bool package;
    } cases[] = {{"A.app", true},  {"B.PKG", true}, {"C.component", true}, {"D.framework", true},
                 {"E.kext", true}, {"F", false},    {"G.txt", false}};
    for (const auto& c : cases) {
        const MacPath folder = mac.mkdir(MacPath(std::string("/Library/") + c.name));
        EXPECT_EQ(isPackage(folder), c.package) << c.name;
        EXPECT_EQ(isPlainFolder(folder), !c.package) << c.name;
    }
    EXPECT_FALSE(isPackage(mac.write(MacPath("/Library/file.pkg"), "")));
}

TEST(Package, AppBundlesOneLevelDeepWithTheCallersRules)
{
    FakeMac mac;
    for (const char* path :
         {"/Apps/Zed.app", "/Apps/alpha.APP", "/Apps/.Hidden.app", "/Apps/Tools/Inner.app",
          "/Apps/Tools/.Secret.app", "/Apps/Tools/Deeper/Deep.app",
          "/Apps/Installer.pkg/Packed.app", "/Apps/Suite.app/Contents/Nested.app"})
        mac.mkdir(MacPath(path));
    mac.symlink(MacPath("/Apps/Linked"), "/Apps/Tools");

    std::vector<std::string> exact = paths(appBundlesIn(MacPath("/Apps"), {.sorted = true}));
    EXPECT_EQ(exact, (std::vector<std::string>{"/Apps/Suite.app", "/Apps/Tools/Inner.app",
                                               "/Apps/Zed.app"}));

    std::vector<std::string> visited;
    const AppBundleListing caseless{
        .extensionCase = ExtensionCase::ignored,
        .sorted = true,
        .onSubfolder = [&](const MacPath& sub) { visited.push_back(sub.path()); }};
    EXPECT_EQ(paths(appBundlesIn(MacPath("/Apps"), caseless)),
              (std::vector<std::string>{"/Apps/Suite.app", "/Apps/Tools/Inner.app", "/Apps/Zed.app",
                                        "/Apps/alpha.APP"}));
    EXPECT_EQ(visited, std::vector<std::string>{"/Apps/Tools"});

    EXPECT_TRUE(appBundlesIn(MacPath("/Missing")).empty());
}
