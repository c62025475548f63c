// ToolchainKind: the sixteen kinds of developer tool whose caches and runtimes are measured.
#pragma once

#include <string_view>
#include <utility>

#include "base/RawValue.h"

namespace veldo::core {

enum class ToolchainKind
{
    homebrew,
    node,
    python,
    conda,
    ruby,
    java,
    android,
    flutter,
    rust,
    go,
    dotnet,
    php,
    xcode,
    cloud,
    editors,
    testing
};

} // namespace veldo::core

template <>
struct veldo::base::EnumTraits<veldo::core::ToolchainKind>
{
    using ToolchainKind = veldo::core::ToolchainKind;

    static constexpr std::array<std::pair<ToolchainKind, std::string_view>, 16> kCases{{
        {ToolchainKind::homebrew, "homebrew"},
        {ToolchainKind::node, "node"},
        {ToolchainKind::python, "python"},
        {ToolchainKind::conda, "conda"},
        {ToolchainKind::ruby, "ruby"},
        {ToolchainKind::java, "java"},
        {ToolchainKind::android, "android"},
        {ToolchainKind::flutter, "flutter"},
        {ToolchainKind::rust, "rust"},
        {ToolchainKind::go, "go"},
        {ToolchainKind::dotnet, "dotnet"},
        {ToolchainKind::php, "php"},
        {ToolchainKind::xcode, "xcode"},
        {ToolchainKind::cloud, "cloud"},
        {ToolchainKind::editors, "editors"},
        {ToolchainKind::testing, "testing"},
    }};
};

namespace veldo::core {

std::string_view title(ToolchainKind kind);
std::string_view detail(ToolchainKind kind);
std::string_view symbolName(ToolchainKind kind);

} // namespace veldo::core

template <>
struct std::hash<veldo::core::ToolchainKind>
{
    size_t operator()(veldo::core::ToolchainKind k) const noexcept
    {
        return veldo::base::hashByRawValue(k);
    }
};
