// A leftover section's header and card.
#include "app/ui/CategorySection.h"

#include <QPainterPath>

#include "app/core/LeftoverCategory.h"
#include "app/ui/CategoryBadgePainter.h"
#include "app/ui/LeftoverListModel.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui::CategorySection {

namespace {

QFont headlineFont(const QFont& base)
{
    return textFont(TextStyle::headline, base);
}

} // namespace

void paintHeader(QPainter& painter, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const ColorScheme scheme = SystemColors::colorScheme(option.palette);
    const QRectF area =
        QRectF(option.rect).adjusted(kListPadding, kSectionSpacing, -kListPadding, -kHeaderSpacing);
    const QRectF badge(area.left(), area.center().y() - kBadgeSize / 2.0, kBadgeSize, kBadgeSize);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    CategoryBadgePainter::paint(
        painter, badge,
        static_cast<core::LeftoverCategory>(index.data(LeftoverListModel::CategoryRole).toInt()),
        scheme);

    const QFont total = monospacedTextFont(TextStyle::subheadline, option.font);
    const QString totalText = index.data(LeftoverListModel::SizeTextRole).toString();
    const qreal totalWidth = QFontMetricsF(total).horizontalAdvance(totalText);
    const QFont title = headlineFont(option.font);
    const QFont detail = textFont(TextStyle::caption, option.font);
    const QFontMetricsF titleMetrics(title);
    const QFontMetricsF detailMetrics(detail);
    const qreal left = badge.right() + 10;
    const qreal width = std::max<qreal>(0, area.right() - totalWidth - 10 - left);
    const qreal top = area.center().y() - (titleMetrics.height() + detailMetrics.height()) / 2;
    painter.setFont(title);
    painter.setPen(SystemColors::color(SystemColor::label, scheme));
    painter.drawText(QRectF(left, top, width, titleMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(index.data().toString(), Qt::ElideRight, width));
    painter.setFont(detail);
    painter.setPen(SystemColors::color(SystemColor::secondaryLabel, scheme));
    painter.drawText(QRectF(left, top + titleMetrics.height(), width, detailMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     detailMetrics.elidedText(index.data(LeftoverListModel::DetailRole).toString(),
                                              Qt::ElideRight, width));
    painter.setFont(total);
    painter.drawText(QRectF(area.right() - totalWidth, area.top(), totalWidth, area.height()),
                     Qt::AlignRight | Qt::AlignVCenter, totalText);
    painter.restore();
}

QSize headerSizeHint(const QStyleOptionViewItem& option, const QModelIndex&)
{
    const qreal text = QFontMetricsF(headlineFont(option.font)).height() +
                       QFontMetricsF(textFont(TextStyle::caption, option.font)).height();
    return {0,
            static_cast<int>(std::max<qreal>(kBadgeSize, text)) + kSectionSpacing + kHeaderSpacing};
}

void paintCard(QPainter& painter, const QRectF& frame, bool first, bool last,
               const QPalette& palette)
{
    const ColorScheme scheme = SystemColors::colorScheme(palette);
    QColor fill = scheme == ColorScheme::dark ? QColor(255, 255, 255) : QColor(0, 0, 0);
    // The quaternary fill (about 5 % of the label colour) at 0.4.
    fill.setAlphaF(0.05F * 0.4F * 2.5F);
    constexpr qreal kRadius = 10;
    QPainterPath path;
    QRectF rect = frame;
    // Extend the rectangle past the edges that stay square, then clip to the frame.
    if (!first)
        rect.setTop(rect.top() - kRadius);
    if (!last)
        rect.setBottom(rect.bottom() + kRadius);
    path.addRoundedRect(rect, kRadius, kRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(frame);
    painter.fillPath(path, fill);
    painter.restore();
}

} // namespace veldo::ui::CategorySection
