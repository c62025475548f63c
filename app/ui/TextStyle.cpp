// Text styles over the application font.
#include "app/ui/TextStyle.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace veldo::ui {

namespace {

struct Style
{
    double points; // at a body size of 13
    QFont::Weight weight;
};

Style styleOf(TextStyle style)
{
    switch (style) {
    case TextStyle::largeTitle:
        return {26, QFont::Normal};
    case TextStyle::title:
        return {22, QFont::Normal};
    case TextStyle::title2:
        return {17, QFont::Normal};
    case TextStyle::title3:
        return {15, QFont::Normal};
    case TextStyle::headline:
        return {13, QFont::Bold};
    case TextStyle::body:
        return {13, QFont::Normal};
    case TextStyle::callout:
        return {12, QFont::Normal};
    case TextStyle::subheadline:
        return {11, QFont::Normal};
    case TextStyle::footnote:
        return {10, QFont::Normal};
    case TextStyle::caption:
        return {10, QFont::Normal};
    case TextStyle::caption2:
        return {10, QFont::Normal};
    }
    return {13, QFont::Normal};
}

} // namespace

QFont textFont(TextStyle style, const QFont& base)
{
    QFont font = base;
    const Style s = styleOf(style);
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF() * s.points / 13.0);
    else
        font.setPixelSize(qMax(1, qRound(base.pixelSize() * s.points / 13.0)));
    font.setWeight(s.weight);
    return font;
}

QFont textFont(TextStyle style)
{
    return textFont(style, QGuiApplication::font());
}

QFont monospacedTextFont(TextStyle style, const QFont& base)
{
    QFont font = textFont(style, base);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies(fixed.families().isEmpty() ? QStringList{fixed.family()} : fixed.families());
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}

} // namespace veldo::ui
