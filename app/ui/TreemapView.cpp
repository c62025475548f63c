// The disk-usage map: buttons placed by the squarified layout.
#include "app/ui/TreemapView.h"

#include <algorithm>
#include <utility>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLocale>

#include "app/treemap/TreemapLayout.h"

namespace veldo::ui {
namespace {

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

} // namespace

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
