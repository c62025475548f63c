// Painting and geometry of the toolchain sections and rows.
#include "app/ui/ToolchainRowDelegate.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QPainter>

#include "app/core/ToolchainKind.h"
#include "app/ui/ListRowPainting.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/TextStyle.h"
#include "app/ui/TintedPillPainter.h"
#include "app/ui/ToolchainKindColor.h"
#include "app/ui/ToolchainListModel.h"

namespace veldo::ui {
namespace {

namespace P = ListRowPainting;
constexpr int kListInset = 20;
constexpr int kSectionSpacing = 18;
constexpr int kDividerInset = 42;

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QFont badgeFont(const QFont& base)
{
    QFont f = textFont(TextStyle::caption2, base);
    f.setWeight(QFont::DemiBold);
    return f;
}

} // namespace

ToolchainRowDelegate::ToolchainRowDelegate(QAbstractItemView* view) : CheckListDelegate(view)
{
}

const ToolchainListModel& ToolchainRowDelegate::model(const QModelIndex& index) const
{
    return *static_cast<const ToolchainListModel*>(index.model());
}

ToolchainRowDelegate::Geometry ToolchainRowDelegate::geometry(const QRect& rowRect,
                                                              const QModelIndex& index) const
{
    const ToolchainListModel& m = model(index);
    const int row = index.row();
    const QFont base = view()->font();
    const QRect content = rowRect.adjusted(kListInset, 0, -kListInset, 0);
    Geometry g;
    if (m.isHeader(row))
        return P::headerGeometry<Geometry>(
            P::sectionHeader(content, m.isFirstGroup(row) ? 0 : kSectionSpacing,
                             P::sizeString(ToolchainListModel::groupBytes(m.group(row))), base));
    const core::ToolchainItem& item = m.item(row);
    const QFontMetrics body(base);
    const QFontMetrics caption(textFont(TextStyle::caption, base));
    const QFontMetrics caption2(textFont(TextStyle::caption2, base));
    const QFontMetrics sizeMetrics(P::rowSizeFont(base));
    const P::RowFrame frame = P::rowFrame(content);
    g.card = frame.card;
    g.checkbox = frame.checkbox;
    g.reveal = P::revealButton(frame);
    g.size = P::trailingText(g.reveal.left() - 10, frame.centre, sizeMetrics,
                             P::sizeString(item.sizeBytes));
    const int x = frame.textLeft;
    const int right = g.size.left() - 8;
    const QFontMetrics badge(badgeFont(base));
    const QSize badgeSize(badge.horizontalAdvance(ToolchainListModel::kindBadge(item).text) + 10,
                          badge.height() + 4);
    const int lockWidth = item.requiresAdmin ? caption2.height() + 6 : 0;
    const int titleWidth = std::min(body.horizontalAdvance(QString::fromStdString(item.title)) + 1,
                                    std::max(0, right - x - 6 - badgeSize.width() - lockWidth));
    const int lineTop = frame.inner.top();
    g.title = QRect(x, lineTop, titleWidth, body.height());
    g.badge = QRect(g.title.right() + 1 + 6, lineTop + (body.height() - badgeSize.height()) / 2,
                    badgeSize.width(), badgeSize.height());
    if (item.requiresAdmin)
        g.lock = QRect(g.badge.right() + 1 + 6, lineTop + (body.height() - caption2.height()) / 2,
                       caption2.height(), caption2.height());
    g.detail = QRect(x, g.title.bottom() + 1 + 2, std::max(0, right - x), caption.height());
    return g;
}

int ToolchainRowDelegate::rowHeight(const QModelIndex& index, int width) const
{
    const Geometry g = geometry(QRect(0, 0, width, 1), index);
    if (model(index).isHeader(index.row()))
        return P::sectionHeaderHeight(P::sectionHeaderOf(g));
    return std::max(g.detail.bottom() + 1, P::kRowPaddingV + P::kReveal) + P::kRowPaddingV;
}

QRect ToolchainRowDelegate::checkboxRect(const QRect& rowRect, const QModelIndex& index) const
{
    return P::checkboxHitArea(geometry(rowRect, index).checkbox);
}

QRect ToolchainRowDelegate::revealRect(const QRect& rowRect, const QModelIndex& index) const
{
    return geometry(rowRect, index).reveal;
}

QRect ToolchainRowDelegate::lockRect(const QRect& rowRect, const QModelIndex& index) const
{
    return geometry(rowRect, index).lock;
}

QString ToolchainRowDelegate::toolTipAt(const QRect& rowRect, const QModelIndex& index,
                                        const QPoint& point) const
{
    const Geometry g = geometry(rowRect, index);
    if (g.lock.contains(point))
        return QStringLiteral("Outside your home folder — needs your administrator password.");
    if (g.reveal.contains(point))
        return QStringLiteral("Reveal in Finder");
    return {};
}

bool ToolchainRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                     const QStyleOptionViewItem& option, const QModelIndex& index)
{
    return answerToolTip(event, view, option, index);
}

void ToolchainRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    const ToolchainListModel& m = model(index);
    const int row = index.row();
    const Geometry g = geometry(option.rect, index);
    const QFont base = view()->font();
    const ColorScheme scheme = SystemColors::colorScheme(view()->palette());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (m.isHeader(row)) {
        const core::ToolchainGroup& group = m.group(row);
        P::paintSectionHeader(*painter, P::sectionHeaderOf(g), core::symbolName(group.kind),
                              color(group.kind, scheme), text(core::title(group.kind)),
                              text(core::detail(group.kind)),
                              P::sizeString(ToolchainListModel::groupBytes(group)), base, scheme);
        painter->restore();
        return;
    }
    const core::ToolchainItem& item = m.item(row);
    P::paintCard(*painter, g.card, m.isFirstInGroup(row), m.isLastInGroup(row), kDividerInset,
                 scheme);
    paintCheckbox(*painter, g.checkbox, m.isChecked(row), index);
    painter->setFont(base);
    painter->setPen(SystemColors::color(SystemColor::label, scheme));
    painter->drawText(g.title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      QFontMetrics(base).elidedText(QString::fromStdString(item.title),
                                                    Qt::ElideMiddle, g.title.width()));
    const ToolchainListModel::KindBadge badge = ToolchainListModel::kindBadge(item);
    TintedPillPainter::paint(
        *painter, g.badge,
        {SystemColors::color(badge.tint, scheme), 0.16, scheme, ColorContrast::standard},
        badge.text, badgeFont(base));
    if (!g.lock.isEmpty())
        SymbolImage::paint(
            *painter, g.lock, "lock.fill", SystemColors::color(SystemColor::orange, scheme),
            SymbolImage::font(QFontInfo(textFont(TextStyle::caption2, base)).pixelSize()));
    const QFont caption = textFont(TextStyle::caption, base);
    painter->setFont(caption);
    painter->setPen(P::secondary(scheme));
    painter->drawText(g.detail, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      QFontMetrics(caption).elidedText(m.displayPath(item.url), Qt::ElideMiddle,
                                                       g.detail.width()));
    painter->setFont(P::rowSizeFont(base));
    painter->drawText(g.size, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                      P::sizeString(item.sizeBytes));
    P::paintReveal(*painter, g.reveal, base, scheme);
    painter->restore();
}

} // namespace veldo::ui
