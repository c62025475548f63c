// A tool entry of the sidebar.
#include "app/ui/SidebarToolRow.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "app/ui/AppListModel.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

SidebarToolRow::SidebarToolRow(SystemColor from, SystemColor to, std::string symbol,
                               QObject* parent)
    : AppRow(nullptr, parent), m_from(from), m_to(to), m_symbol(std::move(symbol))
{
}

void SidebarToolRow::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const
{
    paintBackground(painter, option);
    const ColorScheme scheme = SystemColors::colorScheme(option.palette);
    const bool selected = option.state & QStyle::State_Selected;
    const QRectF row = QRectF(option.rect).adjusted(12, kVerticalPadding, -12, -kVerticalPadding);
    const QRectF tile(row.left(), row.center().y() - kTileSize / 2.0, kTileSize, kTileSize);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(tile.topLeft(), tile.bottomRight());
    gradient.setColorAt(0, SystemColors::color(m_from, scheme));
    gradient.setColorAt(1, SystemColors::color(m_to, scheme));
    QPainterPath path;
    path.addRoundedRect(tile, 7, 7);
    painter->fillPath(path, gradient);
    SymbolImage::paint(*painter, tile, m_symbol, Qt::white, SymbolImage::font(13, QFont::DemiBold));

    QFont title = option.font;
    title.setWeight(QFont::Medium);
    const QFont caption = textFont(TextStyle::caption, option.font);
    const QFontMetricsF titleMetrics(title);
    const QFontMetricsF captionMetrics(caption);
    const qreal left = tile.right() + kSpacing;
    const qreal width = std::max<qreal>(0, row.right() - left);
    const qreal top = row.center().y() - (titleMetrics.height() + 1 + captionMetrics.height()) / 2;
    painter->setFont(title);
    painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                             : SystemColors::color(SystemColor::label, scheme));
    painter->drawText(QRectF(left, top, width, titleMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      titleMetrics.elidedText(index.data().toString(), Qt::ElideRight, width));
    painter->setFont(caption);
    painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                             : SystemColors::color(SystemColor::secondaryLabel, scheme));
    painter->drawText(QRectF(left, top + titleMetrics.height() + 1, width, captionMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      captionMetrics.elidedText(index.data(AppListModel::SubtitleRole).toString(),
                                                Qt::ElideRight, width));
    painter->restore();
}

QSize SidebarToolRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    QFont title = option.font;
    title.setWeight(QFont::Medium);
    const qreal text = QFontMetricsF(title).height() + 1 +
                       QFontMetricsF(textFont(TextStyle::caption, option.font)).height();
    return {0, static_cast<int>(std::max<qreal>(kTileSize, text)) + 2 * kVerticalPadding + 6};
}

} // namespace veldo::ui
