// Painting and geometry of the orphan list's group headers and rows.
#include "app/ui/OrphanRowDelegate.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>

#include "app/core/LeftoverCategory.h"
#include "app/ui/CategoryTint.h"
#include "app/ui/ConfidenceBadge.h"
#include "app/ui/ListRowPainting.h"
#include "app/ui/OrphanConfidenceBadge.h"
#include "app/ui/OrphanListModel.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui {
namespace {

constexpr int kCheckbox = ListRowPainting::kCheckbox;
constexpr int kRowPadV = ListRowPainting::kRowPaddingV;
constexpr int kDividerInset = 38;

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

using ListRowPainting::secondary;
using ListRowPainting::sizeString;
using ListRowPainting::tertiary;

} // namespace

OrphanRowDelegate::OrphanRowDelegate(QAbstractItemView* view) : CheckListDelegate(view)
{
}

const OrphanListModel& OrphanRowDelegate::model(const QModelIndex& index) const
{
    return *static_cast<const OrphanListModel*>(index.model());
}

OrphanRowDelegate::Geometry OrphanRowDelegate::geometry(const QRect& rowRect,
                                                        const QModelIndex& index) const
{
    const OrphanListModel& m = model(index);
    const int row = index.row();
    const QFont base = view()->font();
    Geometry g;
    const QRect content = rowRect.adjusted(kListInset, 0, -kListInset, 0);
    if (m.isHeader(row)) {
        const int top = content.top() + (m.isFirstGroup(row) ? 0 : kGroupSpacing);
        const QFontMetrics headline(textFont(TextStyle::headline, base));
        const QFontMetrics caption(textFont(TextStyle::caption, base));
        const QFontMetrics sizeMetrics(ListRowPainting::sectionTotalFont(base));
        const int lineHeight = std::max(kCheckbox, headline.height() + 1 + caption.height());
        const int centre = top + lineHeight / 2;
        g.checkbox = QRect(content.left(), centre - kCheckbox / 2, kCheckbox, kCheckbox);
        const int sizeWidth = sizeMetrics.horizontalAdvance(sizeString(m.groupBytes(row)));
        g.size = QRect(content.right() - sizeWidth + 1, centre - sizeMetrics.height() / 2,
                       sizeWidth, sizeMetrics.height());
        const int x = g.checkbox.right() + 1 + 10;
        const int textRight = g.size.left() - 10;
        const int lineTop = centre - (headline.height() + 1 + caption.height()) / 2;
        const QSize badge =
            ConfidenceBadge::size(m.group(row).confidence(), base).toSize() + QSize(1, 0);
        const int nameWidth = std::min(headline.horizontalAdvance(qs(m.group(row).displayName)) + 1,
                                       std::max(0, textRight - x - 6 - badge.width()));
        g.name = QRect(x, lineTop, nameWidth, headline.height());
        g.badge = QRect(g.name.right() + 1 + 6, lineTop + (headline.height() - badge.height()) / 2,
                        badge.width(), badge.height());
        g.detail =
            QRect(x, lineTop + headline.height() + 1, std::max(0, textRight - x), caption.height());
        return g;
    }

    const scanners::OrphanFinding& finding = m.finding(row);
    const core::LeftoverItem& item = finding.item;
    const ListRowPainting::RowFrame frame = ListRowPainting::rowFrame(content);
    const QRect& inner = frame.inner;
    const QFontMetrics body(base);
    const QFontMetrics caption(textFont(TextStyle::caption, base));
    const QFontMetrics caption2(textFont(TextStyle::caption2, base));
    const QFontMetrics sizeMetrics(ListRowPainting::rowSizeFont(base));
    g.card = frame.card;
    g.checkbox = frame.checkbox;
    g.reveal = ListRowPainting::revealButton(frame);
    g.size = ListRowPainting::trailingText(g.reveal.left() - 10, frame.centre, sizeMetrics,
                                           sizeString(item.sizeBytes));
    const int x = frame.textLeft;
    const int textRight = g.size.left() - 10;
    const int textWidth = std::max(1, textRight - x);
    const int line1 = std::max({body.height(), caption.height(), kCheckbox});
    const int symbolWidth = caption.height();
    g.symbol =
        QRect(x, inner.top() + (line1 - caption.height()) / 2, symbolWidth, caption.height());
    const QSize badge = ConfidenceBadge::size(item.confidence, base).toSize() + QSize(1, 0);
    const int lockWidth = item.requiresAdmin ? caption2.height() + 6 : 0;
    const int nameX = g.symbol.right() + 1 + 6;
    const int nameWidth = std::min(body.horizontalAdvance(qs(item.url.lastPathComponent())) + 1,
                                   std::max(0, textRight - nameX - lockWidth - 6 - badge.width()));
    g.name = QRect(nameX, inner.top() + (line1 - body.height()) / 2, nameWidth, body.height());
    int after = g.name.right() + 1;
    if (item.requiresAdmin) {
        g.lock = QRect(after + 6, inner.top() + (line1 - caption2.height()) / 2, caption2.height(),
                       caption2.height());
        after = g.lock.right() + 1;
    }
    g.badge =
        QRect(after + 6, inner.top() + (line1 - badge.height()) / 2, badge.width(), badge.height());
    g.detail = QRect(x, inner.top() + line1 + 2, textWidth, caption.height());
    const QRect reason = caption.boundingRect(QRect(0, 0, textWidth, 1 << 20),
                                              Qt::TextWordWrap | Qt::AlignLeft, qs(finding.reason));
    g.reason = QRect(x, g.detail.bottom() + 1 + 2, textWidth, reason.height());
    return g;
}

int OrphanRowDelegate::rowHeight(const QModelIndex& index, int width) const
{
    const QRect probe(0, 0, width, 1);
    const Geometry g = geometry(probe, index);
    if (model(index).isHeader(index.row()))
        return std::max(g.checkbox.bottom(), g.detail.bottom()) + 1 + 8;
    const int text = g.reason.bottom() + 1 - probe.top();
    return std::max(text, kRowPadV + kCheckbox) + kRowPadV;
}

QRect OrphanRowDelegate::checkboxRect(const QRect& rowRect, const QModelIndex& index) const
{
    return ListRowPainting::checkboxHitArea(geometry(rowRect, index).checkbox);
}

QRect OrphanRowDelegate::revealRect(const QRect& rowRect, const QModelIndex& index) const
{
    return geometry(rowRect, index).reveal;
}

QRect OrphanRowDelegate::lockRect(const QRect& rowRect, const QModelIndex& index) const
{
    return geometry(rowRect, index).lock;
}

QString OrphanRowDelegate::toolTipAt(const QRect& rowRect, const QModelIndex& index,
                                     const QPoint& point) const
{
    const OrphanListModel& m = model(index);
    const Geometry g = geometry(rowRect, index);
    if (m.isHeader(index.row()))
        return g.badge.contains(point)
                   ? OrphanConfidenceBadge::helpText(m.group(index.row()).confidence())
                   : QString();
    const core::LeftoverItem& item = m.finding(index.row()).item;
    if (g.symbol.contains(point))
        return qs(std::string(core::title(item.category)));
    if (g.lock.contains(point))
        return QStringLiteral("System file — moving it needs administrator rights.");
    if (g.badge.contains(point))
        return OrphanConfidenceBadge::helpText(item.confidence);
    if (g.reveal.contains(point))
        return QStringLiteral("Reveal in Finder");
    return qs(m.finding(index.row()).reason);
}

bool OrphanRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                  const QStyleOptionViewItem& option, const QModelIndex& index)
{
    return answerToolTip(event, view, option, index);
}

void OrphanRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (model(index).isHeader(index.row()))
        paintHeader(*painter, option.rect, index);
    else
        paintItem(*painter, option.rect, index);
    painter->restore();
}

void OrphanRowDelegate::paintHeader(QPainter& painter, const QRect& rect,
                                    const QModelIndex& index) const
{
    const OrphanListModel& m = model(index);
    const int row = index.row();
    const scanners::OrphanGroup& group = m.group(row);
    const Geometry g = geometry(rect, index);
    const QFont base = view()->font();
    const ColorScheme scheme = SystemColors::colorScheme(view()->palette());
    paintCheckbox(painter, g.checkbox, m.isChecked(row), index);
    const QFont headline = textFont(TextStyle::headline, base);
    painter.setFont(headline);
    painter.setPen(SystemColors::color(SystemColor::label, scheme));
    painter.drawText(
        g.name, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        QFontMetrics(headline).elidedText(qs(group.displayName), Qt::ElideRight, g.name.width()));
    ConfidenceBadge::paint(painter, g.badge, group.confidence(), base, scheme);
    const QFont caption = textFont(TextStyle::caption, base);
    painter.setFont(caption);
    painter.setPen(secondary(scheme));
    painter.drawText(
        g.detail, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        QFontMetrics(caption).elidedText(OrphanListModel::groupDetail(group, QLocale()),
                                         Qt::ElideMiddle, g.detail.width()));
    painter.setFont(ListRowPainting::sectionTotalFont(base));
    painter.drawText(g.size, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                     sizeString(m.groupBytes(row)));
}

void OrphanRowDelegate::paintItem(QPainter& painter, const QRect& rect,
                                  const QModelIndex& index) const
{
    const OrphanListModel& m = model(index);
    const int row = index.row();
    const scanners::OrphanFinding& finding = m.finding(row);
    const core::LeftoverItem& item = finding.item;
    const Geometry g = geometry(rect, index);
    const QFont base = view()->font();
    const ColorScheme scheme = SystemColors::colorScheme(view()->palette());

    // The row's part of the group card: rounded at the group's first and last rows.
    const bool first = &finding == &m.group(row).findings.front();
    const bool last = m.isLastInGroup(row);
    ListRowPainting::paintCard(painter, g.card, first, last, kDividerInset, scheme);

    paintCheckbox(painter, g.checkbox, m.isChecked(row), index);
    const QFont caption = textFont(TextStyle::caption, base);
    SymbolImage::paint(painter, g.symbol, core::symbolName(item.category),
                       SystemColors::color(categoryTint(item.category), scheme),
                       SymbolImage::font(QFontInfo(caption).pixelSize()));
    painter.setFont(base);
    painter.setPen(SystemColors::color(SystemColor::label, scheme));
    painter.drawText(g.name, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetrics(base).elidedText(qs(item.url.lastPathComponent()),
                                                   Qt::ElideMiddle, g.name.width()));
    if (!g.lock.isEmpty())
        SymbolImage::paint(
            painter, g.lock, "lock.fill", SystemColors::color(SystemColor::orange, scheme),
            SymbolImage::font(QFontInfo(textFont(TextStyle::caption2, base)).pixelSize()));
    ConfidenceBadge::paint(painter, g.badge, item.confidence, base, scheme);
    painter.setFont(caption);
    painter.setPen(secondary(scheme));
    painter.drawText(g.detail, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetrics(caption).elidedText(m.displayPath(item.url), Qt::ElideMiddle,
                                                      g.detail.width()));
    painter.setPen(tertiary(scheme));
    painter.drawText(g.reason, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, qs(finding.reason));
    painter.setFont(ListRowPainting::rowSizeFont(base));
    painter.setPen(secondary(scheme));
    painter.drawText(g.size, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                     sizeString(item.sizeBytes));
    ListRowPainting::paintReveal(painter, g.reveal, base, scheme);
}

} // namespace veldo::ui
