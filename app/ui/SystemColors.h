// SystemColors: the named colours the windows use, with a light and a dark value each.
//
// The appearance is read from a palette: dark when its window colour is dark. Qt reports no
// increased-contrast setting, so windows use the standard contrast; painters still take both.
// Pure functions, any thread.
#pragma once

#include <QColor>
#include <QPalette>

namespace veldo::ui {

enum class ColorScheme
{
    light,
    dark
};

enum class ColorContrast
{
    standard,
    increased
};

enum class SystemColor
{
    blue,
    indigo,
    orange,
    gray,
    purple,
    pink,
    teal,
    brown,
    red,
    yellow,
    cyan,
    mint,
    green,
    accent,
    label,
    secondaryLabel,
    separator,
    material,
    windowBackground
};

namespace SystemColors {

QColor color(SystemColor name, ColorScheme scheme);

// Dark when the palette's window colour has a lightness below the middle.
ColorScheme colorScheme(const QPalette& palette);

// Always standard: the platform has no setting to read.
ColorContrast contrast(const QPalette& palette);

// A palette of the given appearance, for windows and the screenshot tour.
QPalette palette(ColorScheme scheme);

} // namespace SystemColors

} // namespace veldo::ui
