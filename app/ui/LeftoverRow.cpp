// The leftover list's delegate.
#include "app/ui/LeftoverRow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include "app/ui/CategorySection.h"
#include "app/ui/ConfidenceBadge.h"
#include "app/ui/LeftoverListModel.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

namespace {

bool isSection(const QModelIndex& index)
{
    return index.data(LeftoverListModel::IsSectionRole).toBool();
}

core::MatchConfidence confidenceOf(const QModelIndex& index)
{
    return static_cast<core::MatchConfidence>(
        index.data(LeftoverListModel::ConfidenceRole).toInt());
}

QFont sizeFont(const QFont& base)
{
    return monospacedTextFont(TextStyle::callout, base);
}

} // namespace

LeftoverRow::LeftoverRow(ItemAction toggle, ItemAction reveal, QObject* parent)
    : QStyledItemDelegate(parent), m_toggle(std::move(toggle)), m_reveal(std::move(reveal))
{
}

LeftoverRow::Layout LeftoverRow::layout(const QStyleOptionViewItem& option,
                                        const QModelIndex& index)
{
    Layout l;
    l.card = QRectF(option.rect)
                 .adjusted(CategorySection::kListPadding, 0, -CategorySection::kListPadding, 0);
    const QRectF content = l.card.adjusted(kHorizontalPadding, kVerticalPadding,
                                           -kHorizontalPadding, -kVerticalPadding);
    const qreal middle = content.center().y();
    l.checkbox = QRectF(content.left(), middle - kCheckboxSize / 2.0, kCheckboxSize, kCheckboxSize);
    l.reveal =
        QRectF(content.right() - kRevealSize, middle - kRevealSize / 2.0, kRevealSize, kRevealSize);

    const QFont body = option.font;
    const QFont caption = textFont(TextStyle::caption, option.font);
    const QFont size = sizeFont(option.font);
    const QFontMetricsF bodyMetrics(body);
    const QFontMetricsF captionMetrics(caption);
    const QFontMetricsF sizeMetrics(size);
    const QString sizeText = index.data(LeftoverListModel::SizeTextRole).toString();
    const qreal sizeWidth = sizeMetrics.horizontalAdvance(sizeText);
    l.size = QRectF(l.reveal.left() - 10 - sizeWidth, middle - sizeMetrics.height() / 2, sizeWidth,
                    sizeMetrics.height());

    const qreal left = l.checkbox.right() + 10;
    const qreal textRight = l.size.left() - 8;
    const qreal width = std::max<qreal>(0, textRight - left);
    const qreal top = middle - (bodyMetrics.height() + 2 + captionMetrics.height()) / 2;

    const QSizeF badge = ConfidenceBadge::size(confidenceOf(index), option.font);
    const bool admin = index.data(LeftoverListModel::RequiresAdminRole).toBool();
    const qreal lockEdge = QFontMetricsF(textFont(TextStyle::caption2, option.font)).height() + 2;
    const qreal marks = 6 + badge.width() + (admin ? 6 + lockEdge : 0);
    l.shownName = bodyMetrics.elidedText(index.data().toString(), Qt::ElideMiddle,
                                         std::max<qreal>(0, width - marks));
    l.name = QRectF(left, top, bodyMetrics.horizontalAdvance(l.shownName), bodyMetrics.height());
    l.badge = QRectF(l.name.right() + 6, l.name.center().y() - badge.height() / 2, badge.width(),
                     badge.height());
    if (admin)
        l.lock =
            QRectF(l.badge.right() + 6, l.name.center().y() - lockEdge / 2, lockEdge, lockEdge);
    l.shownPath = captionMetrics.elidedText(index.data(LeftoverListModel::PathTextRole).toString(),
                                            Qt::ElideMiddle, width);
    l.path = QRectF(left, l.name.bottom() + 2, captionMetrics.horizontalAdvance(l.shownPath),
                    captionMetrics.height());
    return l;
}

void LeftoverRow::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const
{
    if (isSection(index)) {
        CategorySection::paintHeader(*painter, option, index);
        return;
    }
    const Layout l = layout(option, index);
    const ColorScheme scheme = SystemColors::colorScheme(option.palette);
    const QColor secondary = SystemColors::color(SystemColor::secondaryLabel, scheme);
    CategorySection::paintCard(
        *painter, l.card, index.data(LeftoverListModel::FirstInSectionRole).toBool(),
        index.data(LeftoverListModel::LastInSectionRole).toBool(), option.palette);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (option.state & QStyle::State_HasFocus) {
        QColor focus = option.palette.color(QPalette::Highlight);
        focus.setAlphaF(0.12F);
        painter->fillRect(l.card, focus);
    }

    QStyleOptionButton check;
    check.rect = l.checkbox.toRect();
    check.state = QStyle::State_Enabled |
                  (index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                         : QStyle::State_Off);
    check.palette = option.palette;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, painter, widget);

    painter->setFont(option.font);
    painter->setPen(SystemColors::color(SystemColor::label, scheme));
    painter->drawText(l.name, Qt::AlignLeft | Qt::AlignVCenter, l.shownName);
    ConfidenceBadge::paint(*painter, l.badge, confidenceOf(index), option.font, scheme);
    if (!l.lock.isEmpty())
        SymbolImage::paint(*painter, l.lock, "lock.fill",
                           SystemColors::color(SystemColor::orange, scheme),
                           SymbolImage::font(static_cast<int>(l.lock.height()) - 2));
    painter->setFont(textFont(TextStyle::caption, option.font));
    painter->setPen(secondary);
    painter->drawText(l.path, Qt::AlignLeft | Qt::AlignVCenter, l.shownPath);
    painter->setFont(sizeFont(option.font));
    painter->drawText(l.size, Qt::AlignRight | Qt::AlignVCenter,
                      index.data(LeftoverListModel::SizeTextRole).toString());
    SymbolImage::paint(*painter, l.reveal, "arrow.up.forward.app", secondary,
                       SymbolImage::font(kRevealSize - 6));
    if (index.data(LeftoverListModel::DividerRole).toBool()) {
        painter->setPen(QPen(SystemColors::color(SystemColor::separator, scheme), 1));
        const qreal y = l.card.bottom() - 0.5;
        painter->drawLine(QPointF(l.card.left() + kDividerInset, y), QPointF(l.card.right(), y));
    }
    painter->restore();
}

QSize LeftoverRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (isSection(index))
        return CategorySection::headerSizeHint(option, index);
    const qreal text = QFontMetricsF(option.font).height() + 2 +
                       QFontMetricsF(textFont(TextStyle::caption, option.font)).height();
    return {0, static_cast<int>(std::max<qreal>(kRevealSize, text)) + 2 * kVerticalPadding};
}

bool LeftoverRow::editorEvent(QEvent* event, QAbstractItemModel* model,
                              const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const auto type = event->type();
    if (isSection(index) ||
        (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
         type != QEvent::MouseButtonDblClick))
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton)
        return false;
    const Layout l = layout(option, index);
    const QPointF at = mouse->position();
    const auto* list = qobject_cast<const LeftoverListModel*>(model);
    const core::LeftoverItem* item = list ? list->itemAt(index.row()) : nullptr;
    if (!item)
        return false;
    const bool onReveal = l.reveal.contains(at);
    const bool onContent = l.checkbox.contains(at) || l.name.contains(at) || l.badge.contains(at) ||
                           l.lock.contains(at) || l.path.contains(at) || l.size.contains(at);
    if (!onReveal && !onContent)
        return false;
    if (type == QEvent::MouseButtonRelease) {
        // A copy: the action may change the list the item lives in.
        const core::LeftoverItem copy = *item;
        if (onReveal && m_reveal)
            m_reveal(copy);
        else if (onContent && m_toggle)
            m_toggle(copy);
    }
    return true;
}

QRect LeftoverRow::partRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                            RowPart part) const
{
    if (isSection(index))
        return {};
    const Layout l = layout(option, index);
    switch (part) {
    case RowPart::checkbox:
        return l.checkbox.toAlignedRect();
    case RowPart::lock:
        return l.lock.toAlignedRect();
    case RowPart::reveal:
        return l.reveal.toAlignedRect();
    }
    return {};
}

bool LeftoverRow::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                            const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event && event->type() == QEvent::ToolTip && !isSection(index)) {
        const Layout l = layout(option, index);
        QString help;
        if (l.lock.contains(event->pos()))
            help = lockHelp();
        else if (l.reveal.contains(event->pos()))
            help = QStringLiteral("Reveal in Finder");
        else if (l.badge.contains(event->pos()))
            help = ConfidenceBadge::help(confidenceOf(index));
        if (!help.isEmpty()) {
            QToolTip::showText(event->globalPos(), help, view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

} // namespace veldo::ui
