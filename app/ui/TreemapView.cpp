// The disk-usage map: buttons placed by the squarified layout, and their faces.
#include "app/ui/TreemapView.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include "app/treemap/TreemapLayout.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui {
namespace {

constexpr double kCornerRadius = 7;
constexpr double kInset = 5;

// A tile button reports its share as its accessible value and the action hint as its
// description; the map is a named group.
class TileAccessible final : public QAccessibleWidget
{
public:
    explicit TileAccessible(TreemapTileButton* button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<TreemapTileButton*>(widget())->shareText();
        // The hint, empty when there is none (never the tooltip in its place).
        if (t == QAccessible::Description)
            return widget()->accessibleDescription();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.disabled = !widget()->isEnabled();
        return s;
    }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("veldo::ui::TreemapTileButton") && object->isWidgetType())
        return new TileAccessible(static_cast<TreemapTileButton*>(object));
    if (className == QLatin1String("veldo::ui::TreemapView") && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Grouping);
    return nullptr;
}

void installAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    (void)installed;
}

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
    constexpr double padX = 5;
    constexpr double padY = 3;
    constexpr double symbolSpacing = 4;
    constexpr double lineSpacing = 1;

    const double maxBlock = width() - 2 * kInset;
    const double maxContent = maxBlock - 2 * padX;
    const double symbolWidth =
        m_tile.systemImage
            ? QFontMetricsF(symbolFont)
                      .horizontalAdvance(
                          SymbolImage::glyph(*m_tile.systemImage).value_or(QString())) +
                  1
            : 0;
    const double symbolPart = symbolWidth > 0 ? symbolWidth + symbolSpacing : 0;
    const double labelWidth = std::max(maxContent - symbolPart, 1.0);
    const QStringList lines = wrapped(m_tile.label, labelFont, labelWidth, withSize ? 2 : 1);
    double linesWidth = 0;
    for (const QString& line : lines)
        linesWidth = std::max(linesWidth, labelMetrics.horizontalAdvance(line));
    const double labelHeight = labelMetrics.height() * lines.size();
    const double sizeWidth = withSize ? smallMetrics.horizontalAdvance(m_size) : 0;
    const double contentWidth =
        std::min(std::max(symbolPart + linesWidth, sizeWidth), std::max(maxContent, 0.0));
    const double contentHeight = labelHeight + (withSize ? lineSpacing + smallMetrics.height() : 0);
    const QRectF block(kInset, kInset, std::min(contentWidth + 2 * padX, maxBlock),
                       std::min(contentHeight + 2 * padY, height() - 2 * kInset));

    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(block, 5, 5);
    painter.fillPath(clip, SystemColors::color(SystemColor::material, scheme));
    painter.setClipPath(clip);
    const QColor primary = SystemColors::color(SystemColor::label, scheme);
    double x = block.x() + padX;
    double y = block.y() + padY;
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
        y += lineSpacing;
        painter.setPen(SystemColors::color(SystemColor::secondaryLabel, scheme));
        painter.setFont(smallFont);
        painter.drawText(QRectF(block.x() + padX, y, maxContent, smallMetrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, m_size);
    }
    painter.restore();
}

TreemapView::TreemapView(std::vector<TreemapTile> tiles, std::optional<QString> actionHint,
                         SelectHandler onSelect, QWidget* parent)
    : QWidget(parent), m_tiles(std::move(tiles)), m_actionHint(std::move(actionHint)),
      m_onSelect(std::move(onSelect))
{
    installAccessibleFactory();
    setAccessibleName(QStringLiteral("Disk usage map"));
    relayout();
}

void TreemapView::setTiles(std::vector<TreemapTile> tiles)
{
    m_tiles = std::move(tiles);
    relayout();
}

void TreemapView::setActionHint(std::optional<QString> actionHint)
{
    m_actionHint = std::move(actionHint);
    relayout();
}

void TreemapView::setOnSelect(SelectHandler onSelect)
{
    m_onSelect = std::move(onSelect);
    relayout();
}

std::vector<TreemapTileButton*> TreemapView::buttons() const
{
    return m_order;
}

TreemapTileButton* TreemapView::button(const std::string& id) const
{
    const auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

QString TreemapView::shareText(std::int64_t bytes, ByteSum total)
{
    if (total < 1)
        return {};
    const double share =
        static_cast<double>(std::max<std::int64_t>(bytes, 0)) / static_cast<double>(total);
    const QLocale locale;
    return QStringLiteral("%1%2 of total")
        .arg(locale.toString(share * 100, 'f', 0), locale.percent());
}

void TreemapView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void TreemapView::relayout()
{
    std::vector<std::int64_t> bytes;
    bytes.reserve(m_tiles.size());
    ByteSum total = 0;
    for (const TreemapTile& tile : m_tiles) {
        bytes.push_back(tile.bytes);
        total += std::max<std::int64_t>(tile.bytes, 0);
    }
    const auto placed = treemap::layoutTreemap(
        bytes, treemap::Rect{0, 0, static_cast<double>(width()), static_cast<double>(height())});

    std::map<std::string, TreemapTileButton*> kept;
    m_order.clear();
    const QString hint = m_actionHint.value_or(QString());
    for (const treemap::PlacedTile& p : placed) {
        const TreemapTile& tile = m_tiles[p.index];
        if (kept.contains(tile.id))
            continue; // ids are unique; a repeated one keeps its first rectangle
        TreemapTileButton* b = nullptr;
        if (auto it = m_buttons.find(tile.id); it != m_buttons.end()) {
            b = it->second;
            m_buttons.erase(it);
        } else {
            b = new TreemapTileButton(tile, this);
            connect(b, &QAbstractButton::clicked, this, [this, id = tile.id] { select(id); });
        }
        b->place(tile, QRectF(p.rect.x, p.rect.y, p.rect.width, p.rect.height),
                 shareText(tile.bytes, total), hint);
        b->setEnabled(static_cast<bool>(m_onSelect));
        b->show();
        kept.emplace(tile.id, b);
        m_order.push_back(b);
    }
    // Buttons of tiles that left the map go once the event that may be running on them ends.
    for (auto& [id, b] : m_buttons) {
        b->hide();
        b->deleteLater();
    }
    m_buttons = std::move(kept);
}

void TreemapView::select(const std::string& id)
{
    TreemapTileButton* b = button(id);
    if (!b || !m_onSelect)
        return;
    const TreemapTile tile = b->tile(); // the handler may replace the tiles
    const SelectHandler handler = m_onSelect;
    handler(tile);
}

} // namespace veldo::ui
