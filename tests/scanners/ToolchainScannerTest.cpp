// The developer-tool location table and the toolchain scan over small real trees.
#include "app/scanners/ToolchainScanner.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

using namespace veldo::scanners;
using veldo::core::ToolchainGroup;
using veldo::core::ToolchainItem;
using veldo::core::ToolchainKind;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using K = ToolchainKind;
using namespace veldo::testsupport::literals;

namespace {

struct ExpectedRow
{
    ToolchainKind kind;
    std::string title;
    std::string detail;
    std::string base; // "~", "Caches", "AppSupport", "Developer" or "/" (absolute)
    std::string path;
    std::string flags; // c: cache, u: holds user data, e: expands its children
};

// The table as a user of the Developer Footprint knows it, written out independently.
const std::vector<ExpectedRow>& expectedRows()
{
    // clang-format off
    static const std::vector<ExpectedRow> kRows{
        {K::homebrew, "Download Cache", "Cached formula and cask downloads", "Caches", "Homebrew", "c"},
        {K::homebrew, "Homebrew Cache", "Shared Homebrew cache", "/", "/Library/Caches/Homebrew", "c"},
        {K::node, "npm Cache", "~/.npm/_cacache", "~", ".npm/_cacache", "c"},
        {K::node, "Yarn Cache", "Yarn classic cache", "Caches", "Yarn", "c"},
        {K::node, "Yarn Berry Cache", "Yarn 2+ global cache", "~", ".yarn/berry/cache", "c"},
        {K::node, "pnpm Store", "pnpm content-addressable store", "~", "Library/pnpm/store", "c"},
        {K::node, "Bun Cache", "Bun install cache", "~", ".bun/install/cache", "c"},
        {K::node, "Deno Cache", "Deno module cache", "Caches", "deno", "c"},
        {K::node, "nvm Node", "Installed via nvm", "~", ".nvm/versions/node", "e"},
        {K::node, "fnm Node", "Installed via fnm", "~", "Library/Application Support/fnm/node-versions", "e"},
        {K::node, "Volta Node", "Installed via Volta", "~", ".volta/tools/image/node", "e"},
        {K::python, "pip Cache", "Downloaded wheels and source", "Caches", "pip", "c"},
        {K::python, "uv Cache", "Astral uv cache", "Caches", "uv", "c"},
        {K::python, "Poetry Cache", "Poetry package cache", "Caches", "pypoetry/cache", "c"},
        {K::python, "Poetry Artifacts", "Poetry downloaded artifacts", "Caches", "pypoetry/artifacts", "c"},
        {K::python, "Poetry Virtualenv", "Project environment managed by Poetry", "Caches", "pypoetry/virtualenvs", "e"},
        {K::python, "Pipenv Virtualenv", "pipenv / virtualenv", "~", ".virtualenvs", "e"},
        {K::python, "pyenv Version", "Installed via pyenv", "~", ".pyenv/versions", "e"},
        {K::conda, "Conda Package Cache", "Downloaded packages (miniconda)", "~", "miniconda3/pkgs", "c"},
        {K::conda, "Conda Package Cache", "Downloaded packages (anaconda)", "~", "anaconda3/pkgs", "c"},
        {K::conda, "Conda Package Cache", "Downloaded packages (~/.conda)", "~", ".conda/pkgs", "c"},
        {K::conda, "Conda Env", "Environment (miniconda)", "~", "miniconda3/envs", "e"},
        {K::conda, "Conda Env", "Environment (anaconda)", "~", "anaconda3/envs", "e"},
        {K::conda, "Conda Env", "Environment (~/.conda)", "~", ".conda/envs", "e"},
        {K::ruby, "Ruby Version", "Installed via rbenv", "~", ".rbenv/versions", "e"},
        {K::ruby, "Gem Spec Cache", "Downloaded gem index", "~", ".gem/specs", "c"},
        {K::ruby, "User Gems", "Gems installed with --user-install", "~", ".gem/ruby", "e"},
        {K::ruby, "Bundler Cache", "Bundler cache", "~", ".bundle/cache", "c"},
        {K::java, "JDK", "Installed Java runtime", "/", "/Library/Java/JavaVirtualMachines", "e"},
        {K::java, "SDKMAN Candidate", "Installed via SDKMAN", "~", ".sdkman/candidates", "e"},
        {K::java, "asdf Install", "Installed via asdf", "~", ".asdf/installs", "e"},
        {K::java, "Gradle Cache", "~/.gradle/caches", "~", ".gradle/caches", "c"},
        {K::java, "Gradle Wrapper", "Gradle distributions", "~", ".gradle/wrapper/dists", "c"},
        {K::java, "Maven Repository", "~/.m2/repository", "~", ".m2/repository", "c"},
        {K::android, "Android SDK", "SDK platforms, build tools, NDK", "~", "Library/Android/sdk", ""},
        {K::android, "Emulator (AVD)", "Android Virtual Device", "~", ".android/avd", "ue"},
        {K::android, "Android Cache", "~/.android/cache", "~", ".android/cache", "c"},
        {K::android, "Android Build Cache", "Build cache", "~", ".android/build-cache", "c"},
        {K::flutter, "Pub Cache", "Dart/Flutter hosted package cache", "~", ".pub-cache/hosted", "c"},
        {K::flutter, "Pub Git Cache", "Dart/Flutter git package cache", "~", ".pub-cache/git", "c"},
        {K::flutter, "Flutter SDK", "Flutter SDK (~/flutter)", "~", "flutter", ""},
        {K::flutter, "Flutter SDK", "Flutter SDK (~/development/flutter)", "~", "development/flutter", ""},
        {K::rust, "Cargo Registry", "Downloaded crates", "~", ".cargo/registry", "c"},
        {K::rust, "Cargo Git Cache", "Git dependency cache", "~", ".cargo/git", "c"},
        {K::rust, "Rust Toolchain", "Installed via rustup", "~", ".rustup/toolchains", "e"},
        {K::go, "Module Cache", "~/go/pkg/mod", "~", "go/pkg", "c"},
        {K::go, "Build Cache", "go-build cache", "Caches", "go-build", "c"},
        {K::dotnet, "NuGet Packages", "Global package cache", "~", ".nuget/packages", "c"},
        {K::dotnet, ".NET SDK", "Installed .NET SDKs and tools", "~", ".dotnet", ""},
        {K::php, "Composer Cache", "~/.composer/cache", "~", ".composer/cache", "c"},
        {K::php, "Composer Cache", "Library cache", "Caches", "composer", "c"},
        {K::xcode, "DerivedData", "Build intermediates and indexes", "Developer", "Xcode/DerivedData", "c"},
        {K::xcode, "Archives", "Saved app archives", "Developer", "Xcode/Archives", "u"},
        {K::xcode, "iOS Device Support", "Old device symbol files", "Developer", "Xcode/iOS DeviceSupport", "e"},
        {K::xcode, "watchOS Device Support", "Old device symbol files", "Developer", "Xcode/watchOS DeviceSupport", "e"},
        {K::xcode, "Simulator Caches", "CoreSimulator caches", "Developer", "CoreSimulator/Caches", "c"},
        {K::xcode, "Xcode Cache", "com.apple.dt.Xcode", "Caches", "com.apple.dt.Xcode", "c"},
        {K::xcode, "CocoaPods Cache", "Pod download cache", "Caches", "CocoaPods", "c"},
        {K::xcode, "CocoaPods Repos", "Spec repositories", "~", ".cocoapods/repos", "c"},
        {K::xcode, "Carthage Cache", "Carthage build cache", "Caches", "org.carthage.CarthageKit", "c"},
        {K::xcode, "SwiftPM Cache", "Swift Package Manager cache", "Caches", "org.swift.swiftpm", "c"},
        {K::cloud, "Docker Data", "Docker Desktop disk image", "~", "Library/Containers/com.docker.docker/Data/vms", "u"},
        {K::cloud, "Colima VM Data", "VM disks with images, containers and volumes", "~", ".colima", "u"},
        {K::cloud, "Podman / containers Data", "Container images, containers and volumes", "~", ".local/share/containers", "u"},
        {K::cloud, "minikube Data", "minikube cluster VMs and state", "~", ".minikube", "u"},
        {K::cloud, "Vagrant Boxes", "Downloaded Vagrant base boxes", "~", ".vagrant.d/boxes", ""},
        {K::cloud, "Terraform Plugins", "Provider plugin cache", "~", ".terraform.d/plugin-cache", "c"},
        {K::cloud, "Helm Cache", "Helm repository cache", "Caches", "helm", "c"},
        {K::editors, "JetBrains Caches", "IntelliJ, PyCharm, etc.", "Caches", "JetBrains", "ce"},
        {K::editors, "VS Code Cache", "Editor cache", "AppSupport", "Code/Cache", "c"},
        {K::editors, "VS Code Cached Data", "GPU and code cache", "AppSupport", "Code/CachedData", "c"},
        {K::editors, "VS Code Service Worker", "Service worker cache", "AppSupport", "Code/Service Worker/CacheStorage", "c"},
        {K::testing, "Playwright Browsers", "Downloaded browser binaries", "Caches", "ms-playwright", "c"},
        {K::testing, "Puppeteer", "Chromium downloads", "~", ".cache/puppeteer", "c"},
        {K::testing, "Cypress", "Cypress binary cache", "Caches", "Cypress", "c"},
        {K::testing, "ccache", "Compiler cache", "~", ".ccache", "c"},
        {K::testing, "Bazel Cache", "Bazel build cache", "~", ".cache/bazel", "c"},
        {K::testing, "Electron Cache", "Electron downloads", "Caches", "electron", "c"},
    };
    // clang-format on
    return kRows;
}

std::vector<ToolchainScanner::Candidate> allCandidates(const MacPath& home)
{
    std::vector<ToolchainScanner::Candidate> all;
    for (ToolchainKind kind : veldo::base::allCases<ToolchainKind>()) {
        auto rows = ToolchainScanner::toolchainCandidates(kind, home);
        all.insert(all.end(), rows.begin(), rows.end());
    }
    return all;
}

// A file that occupies about `bytes` on disk (allocation rounds up to whole blocks).
void fill(const FakeMac& mac, const MacPath& path, std::size_t bytes)
{
    mac.write(path, std::string(bytes, 'x'));
}

constexpr std::size_t kLarge = 2'000'000;
constexpr std::size_t kSmall = 500'000;

std::vector<std::string> titles(const std::vector<ToolchainGroup>& groups)
{
    std::vector<std::string> out;
    for (const auto& group : groups) {
        for (const auto& item : group.items)
            out.push_back(item.title);
    }
    return out;
}

} // namespace

TEST(ToolchainScanner, TableRowsAndCounts)
{
    const MacPath home("/Users/u");
    const auto candidates = allCandidates(home);
    const auto& expected = expectedRows();
    ASSERT_EQ(candidates.size(), 78u);
    ASSERT_EQ(expected.size(), 78u);

    const std::map<std::string, std::string> bases{
        {"~", "/Users/u/"},
        {"Caches", "/Users/u/Library/Caches/"},
        {"AppSupport", "/Users/u/Library/Application Support/"},
        {"Developer", "/Users/u/Library/Developer/"},
        {"/", ""}};
    std::map<ToolchainKind, int> perKind;
    std::map<std::string, int> perBase;
    int caches = 0, userData = 0, expanded = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto& c = candidates[i];
        const auto& e = expected[i];
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(c.kind, e.kind);
        EXPECT_EQ(c.title, e.title);
        EXPECT_EQ(c.detail, e.detail);
        EXPECT_EQ(c.url.path(), bases.at(e.base) + e.path);
        EXPECT_EQ(c.isCache, e.flags.find('c') != std::string::npos);
        EXPECT_EQ(c.holdsUserData, e.flags.find('u') != std::string::npos);
        EXPECT_EQ(c.expandChildren, e.flags.find('e') != std::string::npos);
        ++perKind[c.kind];
        ++perBase[e.base];
        caches += c.isCache;
        userData += c.holdsUserData;
        expanded += c.expandChildren;
    }
    EXPECT_EQ(perKind, (std::map<ToolchainKind, int>{{K::homebrew, 2},
                                                     {K::node, 9},
                                                     {K::python, 7},
                                                     {K::conda, 6},
                                                     {K::ruby, 4},
                                                     {K::java, 6},
                                                     {K::android, 4},
                                                     {K::flutter, 4},
                                                     {K::rust, 3},
                                                     {K::go, 2},
                                                     {K::dotnet, 2},
                                                     {K::php, 2},
                                                     {K::xcode, 10},
                                                     {K::cloud, 7},
                                                     {K::editors, 4},
                                                     {K::testing, 6}}));
    EXPECT_EQ(perBase,
              (std::map<std::string, int>{
                  {"~", 49}, {"Caches", 19}, {"AppSupport", 3}, {"Developer", 5}, {"/", 2}}));
    EXPECT_EQ(caches, 50);
    EXPECT_EQ(userData, 6);
    EXPECT_EQ(expanded, 19);
}

TEST(ToolchainScanner, HomeWithoutLocationsGivesNothing)
{
    FakeMac mac;
    EXPECT_TRUE(ToolchainScanner::scan(mac.home()).empty());
    // Locations that exist but are small, empty or a placeholder are left out too.
    mac.mkdir(mac.home().appendingPathComponent(".cargo/registry"));
    fill(mac, mac.home().appendingPathComponent(".ccache/stats"), kSmall);
    fill(mac, mac.home().appendingPathComponent(".nvm/versions/node/v1/bin/node"), kSmall);
    EXPECT_TRUE(ToolchainScanner::scan(mac.home()).empty());
}

TEST(ToolchainScanner, AStoppedScanMeasuresNoFolder)
{
    FakeMac mac;
    fill(mac, mac.home().appendingPathComponent(".ccache/a/stats"), 2'000'000);
    ASSERT_EQ(ToolchainScanner::scan(mac.home()).size(), 1u);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_TRUE(ToolchainScanner::scan(mac.home(), stop.get_token()).empty());
}

TEST(ToolchainScanner, ThresholdIsAboveOneMillionBytes)
{
    FakeMac mac;
    const MacPath home = mac.home();
    const MacPath npm = mac.mkdir(home.appendingPathComponent(".npm/_cacache"));
    const MacPath ccache = mac.mkdir(home.appendingPathComponent(".ccache"));
    const MacPath nvm = home.appendingPathComponent(".nvm/versions/node");
    const MacPath v18 = mac.mkdir(nvm.appendingPathComponent("v18"));
    const MacPath v20 = mac.mkdir(nvm.appendingPathComponent("v20"));
    const std::map<MacPath, std::int64_t> sizes{
        {npm, 1'000'000}, {ccache, 1'000'001}, {v18, 1'000'000}, {v20, 1'000'001}, {nvm, 1 << 30}};
    const auto groups = ToolchainScanner::scan(home, [&](const MacPath& path) {
        auto found = sizes.find(path);
        return found == sizes.end() ? std::int64_t{0} : found->second;
    });
    ASSERT_EQ(groups.size(), 2u);
    // Equal totals: node before testing.
    EXPECT_EQ(groups[0].kind, K::node);
    EXPECT_EQ(groups[0].items,
              (std::vector<ToolchainItem>{{K::node, "nvm Node v20", "Installed via nvm", v20,
                                           1'000'001, false, false, false}}));
    EXPECT_EQ(groups[1].items,
              (std::vector<ToolchainItem>{{K::testing, "ccache", "Compiler cache", ccache,
                                           1'000'001, false, true, false}}));
}

TEST(ToolchainScanner, ExpandedFolderYieldsItsLargeVisibleChildren)
{
    FakeMac mac;
    const MacPath nvm = mac.home().appendingPathComponent(".nvm/versions/node");
    fill(mac, nvm.appendingPathComponent("v20.11.0/bin/node"), kLarge);
    fill(mac, nvm.appendingPathComponent("v16.0.0/bin/node"), kSmall);
    fill(mac, nvm.appendingPathComponent(".cache/blob"), kLarge);
    fill(mac, nvm.appendingPathComponent("node-v21.tar.gz"), kLarge); // files count too

    const auto groups = ToolchainScanner::scan(mac.home());
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0].kind, K::node);
    std::map<std::string, MacPath> items;
    for (const auto& item : groups[0].items) {
        EXPECT_EQ(item.detail, "Installed via nvm");
        EXPECT_FALSE(item.requiresAdmin);
        EXPECT_FALSE(item.isCache);
        EXPECT_GT(item.sizeBytes, 1'000'000);
        items[item.title] = item.url;
    }
    EXPECT_EQ(items,
              (std::map<std::string, MacPath>{
                  {"nvm Node v20.11.0", nvm.appendingPathComponent("v20.11.0")},
                  {"nvm Node node-v21.tar.gz", nvm.appendingPathComponent("node-v21.tar.gz")}}));
}

TEST(ToolchainScanner, LocationsOutsideTheHomeRequireAdmin)
{
    FakeMac mac;
    const MacPath home = mac.home();
    fill(mac, "/Library/Caches/Homebrew/downloads/a.tar.gz"_mac, kLarge);
    fill(mac, "/Library/Java/JavaVirtualMachines/temurin-21.jdk/Contents/lib"_mac, kLarge);
    fill(mac, home.appendingPathComponent("Library/Caches/pip/http/x"), kLarge);
    // A parent folder of a row linked outside the home.
    fill(mac, "/Volumes/Data/m2/repository/org/x.jar"_mac, kLarge);
    mac.symlink(home.appendingPathComponent(".m2"), "/Volumes/Data/m2");
    // An expanded row that is itself a link is listed through the link.
    fill(mac, "/opt/nvm-node/v18.0.0/bin/node"_mac, kLarge);
    mac.mkdir(home.appendingPathComponent(".nvm/versions"));
    mac.symlink(home.appendingPathComponent(".nvm/versions/node"), "/opt/nvm-node");
    // A row that is itself a link measures as the link, and is dropped.
    fill(mac, "/Volumes/Data/gradle-caches/modules/x.jar"_mac, kLarge);
    mac.mkdir(home.appendingPathComponent(".gradle"));
    mac.symlink(home.appendingPathComponent(".gradle/caches"), "/Volumes/Data/gradle-caches");
    // A link that stays inside the home changes nothing.
    fill(mac, home.appendingPathComponent("Projects/rustup/toolchains/stable/lib"), kLarge);
    mac.symlink(home.appendingPathComponent(".rustup"), "Projects/rustup");

    std::map<std::string, std::pair<MacPath, bool>> found;
    for (const auto& group : ToolchainScanner::scan(home)) {
        for (const auto& item : group.items)
            found[item.title] = {item.url, item.requiresAdmin};
    }
    using Found = std::map<std::string, std::pair<MacPath, bool>>;
    EXPECT_EQ(
        found,
        (Found{
            {"Homebrew Cache", {"/Library/Caches/Homebrew"_mac, true}},
            {"JDK temurin-21.jdk", {"/Library/Java/JavaVirtualMachines/temurin-21.jdk"_mac, true}},
            {"pip Cache", {home.appendingPathComponent("Library/Caches/pip"), false}},
            {"Maven Repository", {home.appendingPathComponent(".m2/repository"), true}},
            {"nvm Node v18.0.0", {home.appendingPathComponent(".nvm/versions/node/v18.0.0"), true}},
            {"Rust Toolchain stable",
             {home.appendingPathComponent(".rustup/toolchains/stable"), false}}}));
}

TEST(ToolchainScanner, RequiresAdminComparesResolvedPaths)
{
    FakeMac mac;
    const MacPath home = mac.home();
    mac.mkdir("/Volumes/Home"_mac);
    mac.symlink("/Users/linked"_mac, "/Volumes/Home");
    const struct
    {
        MacPath url;
        MacPath home;
        bool expected;
    } cases[] = {
        {home, home, false},
        {home.appendingPathComponent("x/../y/"), home, false},
        {MacPath(home.path() + "suffix/x"), home, true}, // a sibling sharing the prefix
        {"/Users/linked/.npm"_mac, "/Volumes/Home"_mac, false},
        {"/Volumes/Home/.npm"_mac, "/Users/linked"_mac, false},
        {"/Library/Caches"_mac, home, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToolchainScanner::requiresAdmin(c.url, c.home), c.expected) << c.url.path();
}

TEST(ToolchainScanner, GroupsSortByTotalAndConflateSharedTitles)
{
    FakeMac mac;
    const MacPath home = mac.home();
    for (const char* path : {"miniconda3/pkgs/a", "anaconda3/pkgs/a", ".conda/pkgs/a"})
        fill(mac, home.appendingPathComponent(path), kLarge);
    fill(mac, home.appendingPathComponent("Library/Caches/Yarn/a"), kLarge);
    fill(mac, home.appendingPathComponent("Library/Caches/pip/a"), kLarge);
    fill(mac, home.appendingPathComponent("go/pkg/mod/a"), 2 * kLarge);

    const auto groups = ToolchainScanner::scan(home);
    std::vector<ToolchainKind> kinds;
    for (const auto& group : groups)
        kinds.push_back(group.kind);
    EXPECT_EQ(kinds, (std::vector<ToolchainKind>{K::conda, K::go, K::node, K::python}));
    ASSERT_EQ(groups[0].items.size(), 3u);
    EXPECT_EQ(titles({groups[0]}), (std::vector<std::string>(3, "Conda Package Cache")));
    EXPECT_EQ(groups[0].items[0].detail, "Downloaded packages (miniconda)");
    EXPECT_EQ(groups[0].items[1].detail, "Downloaded packages (anaconda)");
    EXPECT_EQ(groups[0].items[2].detail, "Downloaded packages (~/.conda)");
    EXPECT_EQ(groups[1].items[0].url, home.appendingPathComponent("go/pkg"));
}

TEST(ToolchainScanner, UnreadableLocationsContributeNothing)
{
    FakeMac mac;
    const MacPath home = mac.home();
    // An expanded row that is a file can't be listed.
    fill(mac, home.appendingPathComponent(".virtualenvs"), kLarge);
    // Folders the user can't read.
    fill(mac, home.appendingPathComponent(".pyenv/versions/3.12.1/lib/a"), kLarge);
    fill(mac, home.appendingPathComponent(".cargo/registry/cache/a"), kLarge);
    fill(mac, home.appendingPathComponent(".bundle/cache/a"), kLarge);
    mac.mkdir(home.appendingPathComponent(".pyenv/versions"), 0700);
    mac.mkdir(home.appendingPathComponent(".cargo/registry"), 0700);

    const int status = veldo::testsupport::runUnprivileged([&] {
        const auto groups = ToolchainScanner::scan(home);
        return titles(groups) == std::vector<std::string>{"Bundler Cache"} ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}
