// The drop overlay's painting.
#include "app/ui/DropOverlay.h"

#include <algorithm>

#include <QPainter>

#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

namespace {

constexpr qreal kPadding = 28;
constexpr qreal kSpacing = 12;
constexpr qreal kCornerRadius = 18;
constexpr qreal kBorderWidth = 2;
constexpr qreal kDash = 8;
constexpr int kSymbolPoints = 48;

} // namespace

DropOverlay::DropOverlay(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setAcceptDrops(false);
}

QString DropOverlay::title()
{
    return tr("Drop to Uninstall");
}

QString DropOverlay::subtitle()
{
    return tr("Release an app here to scan its leftover files.");
}

QFont DropOverlay::symbolFont() const
{
    const qreal scale = QFontInfo(font()).pixelSize() / 13.0;
    return SymbolImage::font(qRound(kSymbolPoints * scale));
}

QFont DropOverlay::titleFont() const
{
    QFont font = textFont(TextStyle::title2, this->font());
    font.setWeight(QFont::Bold);
    return font;
}

QRectF DropOverlay::cardRect() const
{
    const QFontMetricsF symbol(symbolFont());
    const QFontMetricsF titleMetrics(titleFont());
    const QFontMetricsF body(font());
    const qreal width = std::max({symbol.height(), titleMetrics.horizontalAdvance(title()),
                                  body.horizontalAdvance(subtitle())}) +
                        2 * kPadding;
    const qreal height =
        symbol.height() + titleMetrics.height() + body.height() + 2 * kSpacing + 2 * kPadding;
    QRectF card(0, 0, std::min(width, qreal(this->width())), height);
    card.moveCenter(QRectF(rect()).center());
    return card;
}

void DropOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    QColor accent = SystemColors::color(SystemColor::accent, scheme);
    QColor wash = accent;
    wash.setAlphaF(0.08);
    painter.fillRect(rect(), wash);

    const QRectF card = cardRect();
    // The card is opaque, as the banners' cards: the window's content would show through the
    // material's slight translucency and muddle the text.
    QColor material = SystemColors::color(SystemColor::material, scheme);
    material.setAlpha(255);
    painter.setPen(Qt::NoPen);
    painter.setBrush(material);
    painter.drawRoundedRect(card, kCornerRadius, kCornerRadius);
    QPen border(accent, kBorderWidth);
    // Dash lengths are in units of the pen width.
    border.setDashPattern({kDash / kBorderWidth, kDash / kBorderWidth});
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    const qreal inset = kBorderWidth / 2;
    painter.drawRoundedRect(card.adjusted(inset, inset, -inset, -inset), kCornerRadius - inset,
                            kCornerRadius - inset);

    const QRectF inner = card.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    const QFont symbol = symbolFont();
    const qreal symbolHeight = QFontMetricsF(symbol).height();
    SymbolImage::paint(painter, QRectF(inner.left(), inner.top(), inner.width(), symbolHeight),
                       "arrow.down.app.fill", accent, symbol);
    const QFont heading = titleFont();
    const qreal headingHeight = QFontMetricsF(heading).height();
    qreal y = inner.top() + symbolHeight + kSpacing;
    painter.setFont(heading);
    painter.setPen(SystemColors::color(SystemColor::label, scheme));
    painter.drawText(QRectF(inner.left(), y, inner.width(), headingHeight), Qt::AlignCenter,
                     title());
    y += headingHeight + kSpacing;
    painter.setFont(font());
    painter.setPen(SystemColors::color(SystemColor::secondaryLabel, scheme));
    painter.drawText(QRectF(inner.left(), y, inner.width(), QFontMetricsF(font()).height()),
                     Qt::AlignCenter, subtitle());
}

} // namespace veldo::ui
