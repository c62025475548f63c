// The list delegates' shared painting.
#include "app/ui/ListRowPainting.h"

#include <algorithm>

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include "app/ui/DevBadge.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui::ListRowPainting {

namespace {
constexpr double kCardRadius = 10;
}

QColor cardFill(ColorScheme scheme)
{
    QColor c = SystemColors::color(SystemColor::label, scheme);
    c.setAlpha(255);
    c.setAlphaF(0.10f * 0.40f * (scheme == ColorScheme::dark ? 1.6f : 1.0f));
    return c;
}

QColor secondary(ColorScheme scheme)
{
    return SystemColors::color(SystemColor::secondaryLabel, scheme);
}

QColor tertiary(ColorScheme scheme)
{
    QColor c = SystemColors::color(SystemColor::label, scheme);
    c.setAlphaF(scheme == ColorScheme::dark ? 0.45f : 0.42f);
    return c;
}

QString sizeString(std::int64_t bytes)
{
    return QString::fromStdString(platform::sizeText(bytes));
}

QFont rowSizeFont(const QFont& base)
{
    return monospacedTextFont(TextStyle::callout, base);
}

QFont sectionTotalFont(const QFont& base)
{
    return monospacedTextFont(TextStyle::subheadline, base);
}

SectionHeader sectionHeader(const QRect& content, int topGap, const QString& trailing,
                            const QFont& base)
{
    constexpr int kBadge = 30;
    const QFontMetrics headline(textFont(TextStyle::headline, base));
    const QFontMetrics caption(textFont(TextStyle::caption, base));
    const QFontMetrics sub(sectionTotalFont(base));
    const int line = std::max(kBadge, headline.height() + caption.height());
    const int centre = content.top() + topGap + line / 2;
    SectionHeader h;
    h.badge = QRect(content.left(), centre - kBadge / 2, kBadge, kBadge);
    const int width = sub.horizontalAdvance(trailing);
    h.trailing = QRect(content.right() - width + 1, centre - sub.height() / 2, width, sub.height());
    const int x = h.badge.right() + 1 + 10;
    const int textWidth = std::max(0, h.trailing.left() - 10 - x);
    const int textTop = centre - (headline.height() + caption.height()) / 2;
    h.title = QRect(x, textTop, textWidth, headline.height());
    h.detail = QRect(x, h.title.bottom() + 1, textWidth, caption.height());
    return h;
}

int sectionHeaderHeight(const SectionHeader& header)
{
    return std::max(header.badge.bottom(), header.detail.bottom()) + 1 + 8;
}

RowFrame rowFrame(const QRect& content)
{
    RowFrame f;
    f.card = content;
    f.inner = f.card.adjusted(kRowPaddingH, kRowPaddingV, -kRowPaddingH, -kRowPaddingV);
    f.centre = f.inner.top() + f.inner.height() / 2;
    f.checkbox = QRect(f.inner.left(), f.centre - kCheckbox / 2, kCheckbox, kCheckbox);
    f.textLeft = f.checkbox.right() + 1 + 10;
    return f;
}

QRect revealButton(const RowFrame& frame)
{
    return QRect(frame.inner.right() - kReveal + 1, frame.centre - kReveal / 2, kReveal, kReveal);
}

QRect trailingText(int right, int centre, const QFontMetrics& metrics, const QString& text)
{
    const int width = metrics.horizontalAdvance(text);
    return QRect(right - width, centre - metrics.height() / 2, width, metrics.height());
}

namespace {
constexpr int kCheckboxHitMargin = 4;
}

QRect checkboxHitArea(const QRect& box)
{
    constexpr int kM = kCheckboxHitMargin;
    return box.isEmpty() ? box : box.adjusted(-kM, -kM, kM, kM);
}

QRect checkboxOfHitArea(const QRect& area)
{
    constexpr int kM = kCheckboxHitMargin;
    return area.isEmpty() ? area : area.adjusted(kM, kM, -kM, -kM);
}

void paintSectionHeader(QPainter& painter, const SectionHeader& header, std::string_view symbol,
                        const QColor& tint, const QString& title, const QString& detail,
                        const QString& trailing, const QFont& base, ColorScheme scheme)
{
    DevBadge::paint(painter, header.badge, symbol, tint);
    const QFont headline = textFont(TextStyle::headline, base);
    painter.setFont(headline);
    painter.setPen(SystemColors::color(SystemColor::label, scheme));
    painter.drawText(
        header.title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        QFontMetrics(headline).elidedText(title, Qt::ElideRight, header.title.width()));
    const QFont caption = textFont(TextStyle::caption, base);
    painter.setFont(caption);
    painter.setPen(secondary(scheme));
    painter.drawText(
        header.detail, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        QFontMetrics(caption).elidedText(detail, Qt::ElideRight, header.detail.width()));
    painter.setFont(sectionTotalFont(base));
    painter.drawText(header.trailing, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                     trailing);
}

void paintCard(QPainter& painter, const QRect& card, bool first, bool last, int dividerInset,
               ColorScheme scheme)
{
    const QRectF c(card);
    QPainterPath shape;
    shape.addRoundedRect(c.adjusted(0, first ? 0 : -kCardRadius * 2, 0, last ? 0 : kCardRadius * 2),
                         kCardRadius, kCardRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(card);
    painter.fillPath(shape, cardFill(scheme));
    painter.restore();
    if (!last) {
        painter.save();
        painter.setPen(QPen(SystemColors::color(SystemColor::separator, scheme), 1));
        painter.drawLine(QPointF(c.left() + dividerInset, c.bottom() + 0.5),
                         QPointF(c.right(), c.bottom() + 0.5));
        painter.restore();
    }
}

void paintCheckbox(QPainter& painter, const QRect& rect, bool checked, bool focused,
                   QWidget* widget)
{
    QStyleOptionButton box;
    box.rect = rect;
    box.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    if (focused)
        box.state |= QStyle::State_HasFocus;
    widget->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &painter, widget);
}

void paintReveal(QPainter& painter, const QRect& rect, const QFont& base, ColorScheme scheme)
{
    SymbolImage::paint(painter, rect, "arrow.up.forward.app", secondary(scheme),
                       SymbolImage::font(QFontInfo(base).pixelSize()));
}

} // namespace veldo::ui::ListRowPainting
