// Display texts of the developer-tool kinds.
#include "app/core/ToolchainKind.h"

namespace veldo::core {

namespace {

struct Texts
{
    std::string_view title;
    std::string_view detail;
    std::string_view symbol;
};

constexpr Texts kTexts[] = {
    {"Homebrew", "Package download caches", "mug.fill"},
    {"Node.js", "npm/yarn/pnpm/bun caches and Node versions", "hexagon.fill"},
    {"Python", "pip caches, Poetry and pyenv versions", "chevron.left.forwardslash.chevron.right"},
    {"Conda", "Conda environments and package caches", "leaf.fill"},
    {"Ruby", "Gem caches and rbenv versions", "diamond.fill"},
    {"Java / JVM", "JDKs, Gradle, Maven, SDKMAN, asdf", "cup.and.saucer.fill"},
    {"Android", "Android SDK, emulators and caches", "a.circle.fill"},
    {"Flutter / Dart", "Flutter SDK and pub cache", "f.circle.fill"},
    {"Rust", "Cargo registry and toolchains", "gearshape.2.fill"},
    {"Go", "Module and build caches", "tortoise.fill"},
    {".NET", "NuGet packages and SDKs", "n.circle.fill"},
    {"PHP", "Composer caches", "p.circle.fill"},
    {"Xcode & Apple", "DerivedData, archives, CocoaPods, SwiftPM", "hammer.fill"},
    {"Cloud & Containers", "Docker, minikube, Terraform, Helm", "cloud.fill"},
    {"Editors & IDEs", "JetBrains and VS Code caches", "macwindow"},
    {"Test Runners & Build", "Playwright, Cypress, ccache, Bazel", "ladybug.fill"},
};

const Texts& texts(ToolchainKind k)
{
    return kTexts[static_cast<std::size_t>(k)];
}

} // namespace

std::string_view title(ToolchainKind kind)
{
    return texts(kind).title;
}

std::string_view detail(ToolchainKind kind)
{
    return texts(kind).detail;
}

std::string_view symbolName(ToolchainKind kind)
{
    return texts(kind).symbol;
}

} // namespace veldo::core
