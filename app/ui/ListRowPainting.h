// ListRowPainting: what the tool screens' list delegates paint alike: a row's part of its
// section's rounded card with the inset divider below every row but the last, the checkbox, the
// reveal button, and the sizes and colours of the text. GUI thread.
#pragma once

#include <cstdint>
#include <string_view>

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include "app/ui/SystemColors.h"

class QFontMetrics;
class QPainter;
class QWidget;

namespace veldo::ui::ListRowPainting {

inline constexpr int kCheckbox = 16;
inline constexpr int kReveal = 20;
inline constexpr int kRowPaddingH = 12;
inline constexpr int kRowPaddingV = 8;

// The card fill: the quaternary fill (label colour at 10 %) at 40 %.
QColor cardFill(ColorScheme scheme);
QColor secondary(ColorScheme scheme);
QColor tertiary(ColorScheme scheme);
// "Zero KB" below 1 byte, else the byte-count formatter's file-style text.
QString sizeString(std::int64_t bytes);
// The font of a row's size (callout) and of a section's total (subheadline), monospaced so that
// the digits of the rows line up.
QFont rowSizeFont(const QFont& base);
QFont sectionTotalFont(const QFont& base);

// A developer section header: a 30-point DevBadge, the title (headline) over the detail
// (caption, secondary) and a right-aligned text (subheadline, secondary), `topGap` below the
// row's top.
struct SectionHeader
{
    QRect badge;
    QRect title;
    QRect detail;
    QRect trailing;
};
SectionHeader sectionHeader(const QRect& content, int topGap, const QString& trailing,
                            const QFont& base);
// The height of a section header row whose content starts `topGap` down.
int sectionHeaderHeight(const SectionHeader& header);
void paintSectionHeader(QPainter& painter, const SectionHeader& header, std::string_view symbol,
                        const QColor& tint, const QString& title, const QString& detail,
                        const QString& trailing, const QFont& base, ColorScheme scheme);

// A delegate's Geometry holding a section header: the badge, title, detail and trailing text in
// its `badge`, `title`, `detail` and `size`.
template <typename Geometry>
Geometry headerGeometry(const SectionHeader& header)
{
    Geometry g;
    g.badge = header.badge;
    g.title = header.title;
    g.detail = header.detail;
    g.size = header.trailing;
    return g;
}
template <typename Geometry>
SectionHeader sectionHeaderOf(const Geometry& g)
{
    return {g.badge, g.title, g.detail, g.size};
}

// An item row's frame: its part of the card (the whole `content` of the row), the card less the
// row padding, the inner rectangle's middle line, the checkbox at its leading edge centred on
// that line, and where the text starts, 10 points after the checkbox.
struct RowFrame
{
    QRect card;
    QRect inner;
    int centre = 0;
    QRect checkbox;
    int textLeft = 0;
};
RowFrame rowFrame(const QRect& content);
// The reveal button at the frame's trailing edge, centred on its middle line.
QRect revealButton(const RowFrame& frame);
// One line of `text` in `metrics` ending at `right`, centred on `centre`.
QRect trailingText(int right, int centre, const QFontMetrics& metrics, const QString& text);
// Where a click sets the checkbox `box`: 4 points around it; empty without a checkbox.
QRect checkboxHitArea(const QRect& box);
// The checkbox whose hit area is `area`.
QRect checkboxOfHitArea(const QRect& area);

// The row's part of a card with corners of radius 10, rounded at the section's first and last
// rows; a divider `dividerInset` points in from the card's leading edge under all but the last.
void paintCard(QPainter& painter, const QRect& card, bool first, bool last, int dividerInset,
               ColorScheme scheme);
// The platform checkbox in `rect`.
void paintCheckbox(QPainter& painter, const QRect& rect, bool checked, bool focused,
                   QWidget* widget);
// The borderless reveal button: "arrow.up.forward.app" in the secondary colour.
void paintReveal(QPainter& painter, const QRect& rect, const QFont& base, ColorScheme scheme);

} // namespace veldo::ui::ListRowPainting
