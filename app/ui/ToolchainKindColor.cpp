// Kind colours.
#include "app/ui/ToolchainKindColor.h"

#include "app/ui/ColorMix.h"

namespace veldo::ui {

QColor color(core::ToolchainKind kind, ColorScheme scheme)
{
    using core::ToolchainKind;
    const auto c = [scheme](SystemColor name) { return SystemColors::color(name, scheme); };
    switch (kind) {
    case ToolchainKind::homebrew:
        return c(SystemColor::orange);
    case ToolchainKind::node:
        return c(SystemColor::green);
    case ToolchainKind::python:
        return c(SystemColor::yellow);
    case ToolchainKind::conda:
        return c(SystemColor::mint);
    case ToolchainKind::ruby:
        return c(SystemColor::red);
    case ToolchainKind::java:
        return c(SystemColor::brown);
    case ToolchainKind::android:
        return mixColor(c(SystemColor::green), c(SystemColor::yellow), 0.5);
    case ToolchainKind::flutter:
        return c(SystemColor::cyan);
    case ToolchainKind::rust:
        return mixColor(c(SystemColor::orange), c(SystemColor::red), 0.55);
    case ToolchainKind::go:
        return c(SystemColor::teal);
    case ToolchainKind::dotnet:
        return c(SystemColor::purple);
    case ToolchainKind::php:
        return c(SystemColor::indigo);
    case ToolchainKind::xcode:
        return c(SystemColor::blue);
    case ToolchainKind::cloud:
        return mixColor(c(SystemColor::purple), c(SystemColor::pink), 0.5);
    case ToolchainKind::editors:
        return c(SystemColor::gray);
    case ToolchainKind::testing:
        return c(SystemColor::pink);
    }
    return c(SystemColor::gray);
}

} // namespace veldo::ui
