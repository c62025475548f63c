// TextStyle: the text styles of the windows, as sizes and weights relative to the app font.
//
// The body style is the app font itself; the others scale its size by the ratios of the Mac's
// dynamic type table (body 13 points) and set their weight. Pure functions, any thread.
#pragma once

#include <QFont>

namespace veldo::ui {

enum class TextStyle
{
    largeTitle,
    title,
    title2,
    title3,
    headline,
    body,
    callout,
    subheadline,
    footnote,
    caption,
    caption2
};

// The style's font made from `base` (the application font when omitted).
QFont textFont(TextStyle style, const QFont& base);
QFont textFont(TextStyle style);

// The style's size and weight in the system's fixed-pitch family: the monospaced design.
QFont monospacedTextFont(TextStyle style, const QFont& base);

} // namespace veldo::ui
