// The built-in table of developer-tool locations, and the scan that measures them.
#include "app/scanners/ToolchainScanner.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <string_view>

#include "app/core/AllocatedSize.h"
#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::scanners::ToolchainScanner {

using core::ToolchainGroup;
using core::ToolchainItem;
using core::ToolchainKind;
using platform::MacPath;

namespace {

// The folder a row's path is relative to.
enum class Base
{
    home,
    caches,             // home + "Library/Caches"
    applicationSupport, // home + "Library/Application Support"
    developer,          // home + "Library/Developer"
    absolute            // the path is absolute
};

struct Row
{
    ToolchainKind kind;
    std::string_view title;
    std::string_view detail;
    Base base;
    std::string_view path;
    bool isCache;
    bool holdsUserData;
    bool expandChildren;
};

using K = ToolchainKind;
using B = Base;

// By kind in ToolchainKind order; within a kind, the order of the items in a result.
// clang-format off
constexpr std::array<Row, 78> kRows{{
    {K::homebrew, "Download Cache", "Cached formula and cask downloads", B::caches, "Homebrew", true, false, false},
    {K::homebrew, "Homebrew Cache", "Shared Homebrew cache", B::absolute, "/Library/Caches/Homebrew", true, false, false},
    {K::node, "npm Cache", "~/.npm/_cacache", B::home, ".npm/_cacache", true, false, false},
    {K::node, "Yarn Cache", "Yarn classic cache", B::caches, "Yarn", true, false, false},
    {K::node, "Yarn Berry Cache", "Yarn 2+ global cache", B::home, ".yarn/berry/cache", true, false, false},
    {K::node, "pnpm Store", "pnpm content-addressable store", B::home, "Library/pnpm/store", true, false, false},
    {K::node, "Bun Cache", "Bun install cache", B::home, ".bun/install/cache", true, false, false},
    {K::node, "Deno Cache", "Deno module cache", B::caches, "deno", true, false, false},
    {K::node, "nvm Node", "Installed via nvm", B::home, ".nvm/versions/node", false, false, true},
    {K::node, "fnm Node", "Installed via fnm", B::home, "Library/Application Support/fnm/node-versions", false, false, true},
    {K::node, "Volta Node", "Installed via Volta", B::home, ".volta/tools/image/node", false, false, true},
    {K::python, "pip Cache", "Downloaded wheels and source", B::caches, "pip", true, false, false},
    {K::python, "uv Cache", "Astral uv cache", B::caches, "uv", true, false, false},
    {K::python, "Poetry Cache", "Poetry package cache", B::caches, "pypoetry/cache", true, false, false},
    {K::python, "Poetry Artifacts", "Poetry downloaded artifacts", B::caches, "pypoetry/artifacts", true, false, false},
    {K::python, "Poetry Virtualenv", "Project environment managed by Poetry", B::caches, "pypoetry/virtualenvs", false, false, true},
    {K::python, "Pipenv Virtualenv", "pipenv / virtualenv", B::home, ".virtualenvs", false, false, true},
    {K::python, "pyenv Version", "Installed via pyenv", B::home, ".pyenv/versions", false, false, true},
    {K::conda, "Conda Package Cache", "Downloaded packages (miniconda)", B::home, "miniconda3/pkgs", true, false, false},
    {K::conda, "Conda Package Cache", "Downloaded packages (anaconda)", B::home, "anaconda3/pkgs", true, false, false},
    {K::conda, "Conda Package Cache", "Downloaded packages (~/.conda)", B::home, ".conda/pkgs", true, false, false},
    {K::conda, "Conda Env", "Environment (miniconda)", B::home, "miniconda3/envs", false, false, true},
    {K::conda, "Conda Env", "Environment (anaconda)", B::home, "anaconda3/envs", false, false, true},
    {K::conda, "Conda Env", "Environment (~/.conda)", B::home, ".conda/envs", false, false, true},
    {K::ruby, "Ruby Version", "Installed via rbenv", B::home, ".rbenv/versions", false, false, true},
    {K::ruby, "Gem Spec Cache", "Downloaded gem index", B::home, ".gem/specs", true, false, false},
    {K::ruby, "User Gems", "Gems installed with --user-install", B::home, ".gem/ruby", false, false, true},
    {K::ruby, "Bundler Cache", "Bundler cache", B::home, ".bundle/cache", true, false, false},
    {K::java, "JDK", "Installed Java runtime", B::absolute, "/Library/Java/JavaVirtualMachines", false, false, true},
    {K::java, "SDKMAN Candidate", "Installed via SDKMAN", B::home, ".sdkman/candidates", false, false, true},
    {K::java, "asdf Install", "Installed via asdf", B::home, ".asdf/installs", false, false, true},
    {K::java, "Gradle Cache", "~/.gradle/caches", B::home, ".gradle/caches", true, false, false},
    {K::java, "Gradle Wrapper", "Gradle distributions", B::home, ".gradle/wrapper/dists", true, false, false},
    {K::java, "Maven Repository", "~/.m2/repository", B::home, ".m2/repository", true, false, false},
    {K::android, "Android SDK", "SDK platforms, build tools, NDK", B::home, "Library/Android/sdk", false, false, false},
    {K::android, "Emulator (AVD)", "Android Virtual Device", B::home, ".android/avd", false, true, true},
    {K::android, "Android Cache", "~/.android/cache", B::home, ".android/cache", true, false, false},
    {K::android, "Android Build Cache", "Build cache", B::home, ".android/build-cache", true, false, false},
    {K::flutter, "Pub Cache", "Dart/Flutter hosted package cache", B::home, ".pub-cache/hosted", true, false, false},
    {K::flutter, "Pub Git Cache", "Dart/Flutter git package cache", B::home, ".pub-cache/git", true, false, false},
    {K::flutter, "Flutter SDK", "Flutter SDK (~/flutter)", B::home, "flutter", false, false, false},
    {K::flutter, "Flutter SDK", "Flutter SDK (~/development/flutter)", B::home, "development/flutter", false, false, false},
    {K::rust, "Cargo Registry", "Downloaded crates", B::home, ".cargo/registry", true, false, false},
    {K::rust, "Cargo Git Cache", "Git dependency cache", B::home, ".cargo/git", true, false, false},
    {K::rust, "Rust Toolchain", "Installed via rustup", B::home, ".rustup/toolchains", false, false, true},
    {K::go, "Module Cache", "~/go/pkg/mod", B::home, "go/pkg", true, false, false},
    {K::go, "Build Cache", "go-build cache", B::caches, "go-build", true, false, false},
    {K::dotnet, "NuGet Packages", "Global package cache", B::home, ".nuget/packages", true, false, false},
    {K::dotnet, ".NET SDK", "Installed .NET SDKs and tools", B::home, ".dotnet", false, false, false},
    {K::php, "Composer Cache", "~/.composer/cache", B::home, ".composer/cache", true, false, false},
    {K::php, "Composer Cache", "Library cache", B::caches, "composer", true, false, false},
    {K::xcode, "DerivedData", "Build intermediates and indexes", B::developer, "Xcode/DerivedData", true, false, false},
    {K::xcode, "Archives", "Saved app archives", B::developer, "Xcode/Archives", false, true, false},
    {K::xcode, "iOS Device Support", "Old device symbol files", B::developer, "Xcode/iOS DeviceSupport", false, false, true},
    {K::xcode, "watchOS Device Support", "Old device symbol files", B::developer, "Xcode/watchOS DeviceSupport", false, false, true},
    {K::xcode, "Simulator Caches", "CoreSimulator caches", B::developer, "CoreSimulator/Caches", true, false, false},
    {K::xcode, "Xcode Cache", "com.apple.dt.Xcode", B::caches, "com.apple.dt.Xcode", true, false, false},
    {K::xcode, "CocoaPods Cache", "Pod download cache", B::caches, "CocoaPods", true, false, false},
    {K::xcode, "CocoaPods Repos", "Spec repositories", B::home, ".cocoapods/repos", true, false, false},
    {K::xcode, "Carthage Cache", "Carthage build cache", B::caches, "org.carthage.CarthageKit", true, false, false},
    {K::xcode, "SwiftPM Cache", "Swift Package Manager cache", B::caches, "org.swift.swiftpm", true, false, false},
    {K::cloud, "Docker Data", "Docker Desktop disk image", B::home, "Library/Containers/com.docker.docker/Data/vms", false, true, false},
    {K::cloud, "Colima VM Data", "VM disks with images, containers and volumes", B::home, ".colima", false, true, false},
    {K::cloud, "Podman / containers Data", "Container images, containers and volumes", B::home, ".local/share/containers", false, true, false},
    {K::cloud, "minikube Data", "minikube cluster VMs and state", B::home, ".minikube", false, true, false},
    {K::cloud, "Vagrant Boxes", "Downloaded Vagrant base boxes", B::home, ".vagrant.d/boxes", false, false, false},
    {K::cloud, "Terraform Plugins", "Provider plugin cache", B::home, ".terraform.d/plugin-cache", true, false, false},
    {K::cloud, "Helm Cache", "Helm repository cache", B::caches, "helm", true, false, false},
    {K::editors, "JetBrains Caches", "IntelliJ, PyCharm, etc.", B::caches, "JetBrains", true, false, true},
    {K::editors, "VS Code Cache", "Editor cache", B::applicationSupport, "Code/Cache", true, false, false},
    {K::editors, "VS Code Cached Data", "GPU and code cache", B::applicationSupport, "Code/CachedData", true, false, false},
    {K::editors, "VS Code Service Worker", "Service worker cache", B::applicationSupport, "Code/Service Worker/CacheStorage", true, false, false},
    {K::testing, "Playwright Browsers", "Downloaded browser binaries", B::caches, "ms-playwright", true, false, false},
    {K::testing, "Puppeteer", "Chromium downloads", B::home, ".cache/puppeteer", true, false, false},
    {K::testing, "Cypress", "Cypress binary cache", B::caches, "Cypress", true, false, false},
    {K::testing, "ccache", "Compiler cache", B::home, ".ccache", true, false, false},
    {K::testing, "Bazel Cache", "Bazel build cache", B::home, ".cache/bazel", true, false, false},
    {K::testing, "Electron Cache", "Electron downloads", B::caches, "electron", true, false, false},
}};
// clang-format on

MacPath baseFolder(Base base, const MacPath& home)
{
    switch (base) {
    case Base::home:
        return home;
    case Base::caches:
        return home.appendingPathComponent("Library/Caches");
    case Base::applicationSupport:
        return home.appendingPathComponent("Library/Application Support");
    case Base::developer:
        return home.appendingPathComponent("Library/Developer");
    case Base::absolute:
        break;
    }
    return MacPath("/");
}

ToolchainItem itemOf(const Candidate& candidate, std::string title, MacPath url, std::int64_t size,
                     const MacPath& home)
{
    ToolchainItem item;
    item.kind = candidate.kind;
    item.title = std::move(title);
    item.detail = candidate.detail;
    item.requiresAdmin = requiresAdmin(url, home);
    item.url = std::move(url);
    item.sizeBytes = size;
    item.isCache = candidate.isCache;
    item.holdsUserData = candidate.holdsUserData;
    return item;
}

// What one candidate yields, appended to `items`.
void measure(const Candidate& candidate, const MacPath& home, const SizeFunction& sizeOf,
             std::vector<ToolchainItem>& items)
{
    if (!platform::exists(candidate.url))
        return;
    if (!candidate.expandChildren) {
        const std::int64_t size = sizeOf(candidate.url);
        if (size > kMinimumSize)
            items.push_back(itemOf(candidate, candidate.title, candidate.url, size, home));
        return;
    }
    auto children = platform::listDirectory(candidate.url);
    if (!children)
        return;
    for (const std::string& name : *children) {
        if (name.starts_with('.'))
            continue;
        MacPath child = candidate.url.appendingPathComponent(name);
        const std::int64_t size = sizeOf(child);
        if (size > kMinimumSize)
            items.push_back(
                itemOf(candidate, candidate.title + " " + name, std::move(child), size, home));
    }
}

std::int64_t total(const ToolchainGroup& group)
{
    return std::accumulate(
        group.items.begin(), group.items.end(), std::int64_t{0},
        [](std::int64_t sum, const ToolchainItem& item) { return sum + item.sizeBytes; });
}

} // namespace

std::vector<Candidate> toolchainCandidates(ToolchainKind kind, const MacPath& home)
{
    std::vector<Candidate> candidates;
    for (const Row& row : kRows) {
        if (row.kind != kind)
            continue;
        const MacPath url = row.base == Base::absolute
                                ? MacPath(row.path)
                                : baseFolder(row.base, home).appendingPathComponent(row.path);
        candidates.push_back(Candidate{row.kind, std::string(row.title), std::string(row.detail),
                                       url, row.isCache, row.holdsUserData, row.expandChildren});
    }
    return candidates;
}

bool requiresAdmin(const MacPath& url, const MacPath& home)
{
    const std::string item = platform::resolvingSymlinks(url.standardized()).path();
    const std::string base = platform::resolvingSymlinks(home.standardized()).path();
    if (item == base)
        return false;
    return !item.starts_with(base + "/");
}

std::vector<ToolchainGroup> scan(const MacPath& home, std::stop_token stop)
{
    return scan(
        home, [&stop](const MacPath& path) { return core::allocatedSize(path, stop).value_or(0); });
}

std::vector<ToolchainGroup> scan(const MacPath& home, const SizeFunction& sizeOf)
{
    std::vector<ToolchainGroup> groups;
    for (const ToolchainKind kind : base::allCases<ToolchainKind>()) {
        ToolchainGroup group{kind, {}};
        for (const Candidate& candidate : toolchainCandidates(kind, home))
            measure(candidate, home, sizeOf, group.items);
        if (!group.items.empty())
            groups.push_back(std::move(group));
    }
    std::stable_sort(
        groups.begin(), groups.end(),
        [](const ToolchainGroup& a, const ToolchainGroup& b) { return total(a) > total(b); });
    return groups;
}

} // namespace veldo::scanners::ToolchainScanner
