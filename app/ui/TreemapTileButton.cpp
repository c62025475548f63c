// A tile of the disk-usage map: its face by size, its texts, its place.
#include "app/ui/TreemapTileButton.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui {
namespace {

constexpr double kCornerRadius = 7;
constexpr double kInset = 5;

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

// The label broken into at most `maxLines` lines of `width`, the last one elided.
QStringList wrapped(const QString& text, const QFont& font, double width, int maxLines)
{
    const QFontMetricsF metrics(font);
    if (maxLines <= 1)
        return {metrics.elidedText(text, Qt::ElideRight, width)};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            lines << metrics.elidedText(text.mid(line.textStart()), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

} // namespace

TreemapTileButton::TreemapTileButton(TreemapTile tile, QWidget* parent)
    : QAbstractButton(parent), m_tile(std::move(tile))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

TreemapTileButton::Face TreemapTileButton::face() const
{
    const double w = m_rect.width();
    const double h = m_rect.height();
    if (w > 84 && h > 46)
        return Face::labelAndSize;
    if (w > 60 && h > 26)
        return Face::label;
    if (m_tile.systemImage && w > 22 && h > 22)
        return Face::symbol;
    return Face::fill;
}

void TreemapTileButton::place(const TreemapTile& tile, const QRectF& rect, const QString& share,
                              const QString& hint)
{
    m_tile = tile;
    m_rect = rect;
    m_size = qs(platform::sizeText(tile.bytes));
    m_share = share;
    const QString label = tile.label;
    setToolTip(QStringLiteral("%1 — %2").arg(label, m_size));
    setAccessibleName(QStringLiteral("%1, %2").arg(label, m_size));
    setAccessibleDescription(hint);
    const auto edge = [](double v) { return static_cast<int>(std::lround(v)); };
    const int left = edge(rect.x());
    const int top = edge(rect.y());
    setGeometry(left, top, std::max(edge(rect.x() + rect.width()) - left, 0),
                std::max(edge(rect.y() + rect.height()) - top, 0));
    update();
}

void TreemapTileButton::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const QRectF bounds = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(bounds, kCornerRadius, kCornerRadius);
    QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
    const QColor base = m_tile.color.isValid() ? m_tile.color : QColor(Qt::gray);
    gradient.setColorAt(0, base.lighter(115));
    gradient.setColorAt(1, base);
    painter.fillPath(shape, gradient);
    if (isDown()) {
        QColor shade(Qt::black);
        shade.setAlphaF(0.15f);
        painter.fillPath(shape, shade);
    }
    QColor stroke = SystemColors::color(SystemColor::windowBackground, scheme);
    stroke.setAlphaF(0.55f);
    painter.setPen(QPen(stroke, 1));
    painter.setBrush(Qt::NoBrush);
    const QRectF inner = bounds.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(inner, kCornerRadius - 0.5, kCornerRadius - 0.5);
    // The focus ring only once the keyboard moved focus, not after a click.
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setPen(QPen(SystemColors::color(SystemColor::accent, scheme), 2));
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), kCornerRadius - 1,
                                kCornerRadius - 1);
    }

    switch (face()) {
    case Face::labelAndSize:
        paintLabelBlock(painter, true);
        break;
    case Face::label:
        paintLabelBlock(painter, false);
        break;
    case Face::symbol: {
        const QFont symbolFont = SymbolImage::font(
            QFontInfo(textFont(TextStyle::caption2, font())).pixelSize(), QFont::DemiBold);
        const double edge = QFontMetricsF(symbolFont).height();
        const QRectF frame(kInset, kInset, std::min(edge * 1.6, bounds.width() - 2 * kInset),
                           std::min(edge, bounds.height() - 2 * kInset));
        QColor shadow(Qt::black);
        shadow.setAlphaF(0.35f);
        SymbolImage::paint(painter, frame.translated(0, 1), *m_tile.systemImage, shadow,
                           symbolFont);
        SymbolImage::paint(painter, frame, *m_tile.systemImage, Qt::white, symbolFont);
        break;
    }
    case Face::fill:
        break;
    }
}

void TreemapTileButton::paintLabelBlock(QPainter& painter, bool withSize)
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const QFont labelFont = [&] {
        QFont f = textFont(TextStyle::caption, font());
        f.setWeight(QFont::DemiBold);
        return f;
    }();
    const QFont smallFont = textFont(TextStyle::caption2, font());
    const QFont symbolFont = SymbolImage::font(QFontInfo(smallFont).pixelSize(), QFont::DemiBold);
    const QFontMetricsF labelMetrics(labelFont);
    const QFontMetricsF smallMetrics(smallFont);
    constexpr double kPadX = 5;
    constexpr double kPadY = 3;
    constexpr double kSymbolSpacing = 4;
    constexpr double kLineSpacing = 1;

    const double maxBlock = width() - 2 * kInset;
    const double maxContent = maxBlock - 2 * kPadX;
    const double symbolWidth =
        m_tile.systemImage
            ? QFontMetricsF(symbolFont)
                      .horizontalAdvance(
                          SymbolImage::glyph(*m_tile.systemImage).value_or(QString())) +
                  1
            : 0;
    const double symbolPart = symbolWidth > 0 ? symbolWidth + kSymbolSpacing : 0;
    const double labelWidth = std::max(maxContent - symbolPart, 1.0);
    const QStringList lines = wrapped(m_tile.label, labelFont, labelWidth, withSize ? 2 : 1);
    double linesWidth = 0;
    for (const QString& line : lines)
        linesWidth = std::max(linesWidth, labelMetrics.horizontalAdvance(line));
    const double labelHeight = labelMetrics.height() * lines.size();
    const double sizeWidth = withSize ? smallMetrics.horizontalAdvance(m_size) : 0;
    const double contentWidth =
        std::min(std::max(symbolPart + linesWidth, sizeWidth), std::max(maxContent, 0.0));
    const double contentHeight =
        labelHeight + (withSize ? kLineSpacing + smallMetrics.height() : 0);
    const QRectF block(kInset, kInset, std::min(contentWidth + 2 * kPadX, maxBlock),
                       std::min(contentHeight + 2 * kPadY, height() - 2 * kInset));

    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(block, 5, 5);
    painter.fillPath(clip, SystemColors::color(SystemColor::material, scheme));
    painter.setClipPath(clip);
    const QColor primary = SystemColors::color(SystemColor::label, scheme);
    double x = block.x() + kPadX;
    double y = block.y() + kPadY;
    if (m_tile.systemImage && symbolWidth > 0) {
        const QRectF frame(x, y + (labelHeight - labelMetrics.height()) / 2, symbolWidth,
                           labelMetrics.height());
        SymbolImage::paint(painter, frame, *m_tile.systemImage, primary, symbolFont);
        x += symbolPart;
    }
    painter.setPen(primary);
    painter.setFont(labelFont);
    for (const QString& line : lines) {
        painter.drawText(QRectF(x, y, labelWidth, labelMetrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, line);
        y += labelMetrics.height();
    }
    if (withSize) {
        y += kLineSpacing;
        painter.setPen(SystemColors::color(SystemColor::secondaryLabel, scheme));
        painter.setFont(smallFont);
        painter.drawText(QRectF(block.x() + kPadX, y, maxContent, smallMetrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, m_size);
    }
    painter.restore();
}

} // namespace veldo::ui
