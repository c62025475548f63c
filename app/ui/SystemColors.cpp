// The named colours: the standard system colours of both appearances.
#include "app/ui/SystemColors.h"

#include <array>
#include <cstddef>

namespace veldo::ui::SystemColors {

namespace {

struct Pair
{
    QColor light;
    QColor dark;
};

const std::array<Pair, 19>& table()
{
    static const std::array<Pair, 19> kTable{{
        {QColor(0, 122, 255), QColor(10, 132, 255)},           // blue
        {QColor(88, 86, 214), QColor(94, 92, 230)},            // indigo
        {QColor(255, 149, 0), QColor(255, 159, 10)},           // orange
        {QColor(142, 142, 147), QColor(152, 152, 157)},        // gray
        {QColor(175, 82, 222), QColor(191, 90, 242)},          // purple
        {QColor(255, 45, 85), QColor(255, 55, 95)},            // pink
        {QColor(48, 176, 199), QColor(64, 200, 224)},          // teal
        {QColor(162, 132, 94), QColor(172, 142, 104)},         // brown
        {QColor(255, 59, 48), QColor(255, 69, 58)},            // red
        {QColor(255, 204, 0), QColor(255, 214, 10)},           // yellow
        {QColor(50, 173, 230), QColor(100, 210, 255)},         // cyan
        {QColor(0, 199, 190), QColor(99, 230, 226)},           // mint
        {QColor(52, 199, 89), QColor(48, 209, 88)},            // green
        {QColor(0, 122, 255), QColor(10, 132, 255)},           // accent
        {QColor(0, 0, 0, 217), QColor(255, 255, 255, 217)},    // label
        {QColor(0, 0, 0, 128), QColor(255, 255, 255, 140)},    // secondaryLabel
        {QColor(0, 0, 0, 26), QColor(255, 255, 255, 26)},      // separator
        {QColor(246, 246, 246, 245), QColor(44, 44, 46, 245)}, // material
        {QColor(236, 236, 236), QColor(30, 30, 30)},           // windowBackground
    }};
    return kTable;
}

} // namespace

QColor color(SystemColor name, ColorScheme scheme)
{
    const Pair& pair = table()[static_cast<std::size_t>(name)];
    return scheme == ColorScheme::dark ? pair.dark : pair.light;
}

ColorScheme colorScheme(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128 ? ColorScheme::dark
                                                             : ColorScheme::light;
}

ColorContrast contrast(const QPalette&)
{
    return ColorContrast::standard;
}

QPalette palette(ColorScheme scheme)
{
    const bool dark = scheme == ColorScheme::dark;
    const QColor window = color(SystemColor::windowBackground, scheme);
    const QColor text = dark ? QColor(235, 235, 235) : QColor(28, 28, 30);
    const QColor base = dark ? QColor(40, 40, 42) : QColor(255, 255, 255);
    const QColor button = dark ? QColor(72, 72, 74) : QColor(252, 252, 252);
    QPalette p(button, window);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, dark ? QColor(48, 48, 50) : QColor(244, 244, 246));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, color(SystemColor::accent, scheme));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, color(SystemColor::secondaryLabel, scheme));
    p.setColor(QPalette::Disabled, QPalette::ButtonText,
               dark ? QColor(120, 120, 120) : QColor(160, 160, 160));
    p.setColor(QPalette::Disabled, QPalette::WindowText,
               dark ? QColor(120, 120, 120) : QColor(160, 160, 160));
    return p;
}

} // namespace veldo::ui::SystemColors
