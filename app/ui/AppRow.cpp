// One app of the sidebar's list, and its section headers.
#include "app/ui/AppRow.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "app/ui/AppListModel.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/TintedPillPainter.h"
#include "platform/ByteCountFormatter.h"
#include "platform/RelativeDateFormatter.h"
#include "platform/qt/AppIconProvider.h"

namespace veldo::ui {

namespace {

constexpr int kHorizontalPadding = 8;
constexpr int kMarkSpacing = 5;

ColorScheme schemeOf(const QStyleOptionViewItem& option)
{
    return SystemColors::colorScheme(option.palette);
}

QColor secondary(const QStyleOptionViewItem& option, bool selected)
{
    if (selected)
        return option.palette.color(QPalette::HighlightedText);
    return SystemColors::color(SystemColor::secondaryLabel, schemeOf(option));
}

QFont nameFont(const QFont& base)
{
    QFont font = base;
    font.setWeight(QFont::Medium);
    return font;
}

QFont pillFont(const QFont& base)
{
    QFont font = textFont(TextStyle::caption2, base);
    font.setWeight(QFont::DemiBold);
    return font;
}

AppListModel::RowKind kindOf(const QModelIndex& index)
{
    return static_cast<AppListModel::RowKind>(index.data(AppListModel::KindRole).toInt());
}

} // namespace

AppRow::AppRow(platform::qt::AppIconProvider* icons, QObject* parent)
    : QStyledItemDelegate(parent), m_icons(icons)
{
}

bool AppRow::isUnused(const core::InstalledApp& app, core::Date now)
{
    return app.lastUsed && now - *app.lastUsed > kUnusedAfter;
}

QString AppRow::subtitle(const core::InstalledApp& app, core::Date now)
{
    if (app.sizeBytes >= 1)
        return QString::fromStdString(platform::sizeText(app.sizeBytes));
    if (app.lastUsed)
        return QStringLiteral("Used ") +
               QString::fromStdString(
                   platform::RelativeDateFormatter::localizedString(*app.lastUsed, now));
    return QStringLiteral("Ready to scan");
}

void AppRow::paintBackground(QPainter* painter, const QStyleOptionViewItem& option)
{
    if (!(option.state & QStyle::State_Selected))
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(option.palette.color(QPalette::Highlight));
    painter->drawRoundedRect(QRectF(option.rect).adjusted(4, 1, -4, -1), 6, 6);
    painter->restore();
}

AppRow::Layout AppRow::layout(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    Layout result;
    const QRectF row = QRectF(option.rect)
                           .adjusted(kHorizontalPadding + 4, kVerticalPadding,
                                     -kHorizontalPadding - 4, -kVerticalPadding);
    result.icon = QRectF(row.left(), row.center().y() - kIconSize / 2.0, kIconSize, kIconSize);
    const qreal textLeft = result.icon.right() + kSpacing;
    const qreal width = std::max<qreal>(0, row.right() - textLeft);

    const QFont name = nameFont(option.font);
    const QFont caption = textFont(TextStyle::caption, option.font);
    const QFont pill = pillFont(option.font);
    const QFontMetricsF nameMetrics(name);
    const QFontMetricsF captionMetrics(caption);
    const QFontMetricsF pillMetrics(pill);
    const qreal textHeight = nameMetrics.height() + 1 + captionMetrics.height();
    const qreal top = row.center().y() - textHeight / 2;

    // The marks take their room first; the name gets what is left.
    struct Wanted
    {
        qreal width;
        QString help;
    };
    std::vector<Wanted> wanted;
    const qreal symbolEdge = pillMetrics.height() + 3;
    if (index.data(AppListModel::SystemAppRole).toBool())
        wanted.push_back({symbolEdge, systemAppHelp()});
    const QString token = index.data(AppListModel::CaskTokenRole).toString();
    if (!token.isEmpty())
        wanted.push_back({symbolEdge, caskHelp(token)});
    if (index.data(AppListModel::UnusedRole).toBool())
        wanted.push_back(
            {pillMetrics.horizontalAdvance(QStringLiteral("Unused")) + 10, unusedHelp()});
    qreal marksWidth = 0;
    for (const Wanted& w : wanted)
        marksWidth += kMarkSpacing + w.width;

    const QString fullName = index.data(Qt::DisplayRole).toString();
    result.shownName =
        nameMetrics.elidedText(fullName, Qt::ElideMiddle, std::max<qreal>(0, width - marksWidth));
    const qreal nameWidth = nameMetrics.horizontalAdvance(result.shownName);
    result.name = QRectF(textLeft, top, nameWidth, nameMetrics.height());
    qreal x = result.name.right();
    for (const Wanted& w : wanted) {
        x += kMarkSpacing;
        const qreal h = w.help == unusedHelp() ? pillMetrics.height() + 2 : symbolEdge;
        result.marks.push_back({QRectF(x, result.name.center().y() - h / 2, w.width, h), w.help});
        x += w.width;
    }
    result.subtitle = QRectF(textLeft, result.name.bottom() + 1, width, captionMetrics.height());
    return result;
}

void AppRow::paintHeader(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const
{
    painter->save();
    const QFont font = textFont(TextStyle::caption, option.font);
    painter->setFont(font);
    painter->setPen(SystemColors::color(SystemColor::secondaryLabel, schemeOf(option)));
    const QRectF frame = QRectF(option.rect).adjusted(kHorizontalPadding + 4, 0, -8, -3);
    painter->drawText(
        frame, Qt::AlignLeft | Qt::AlignBottom,
        QFontMetricsF(font).elidedText(index.data().toString(), Qt::ElideRight, frame.width()));
    painter->restore();
}

void AppRow::paint(QPainter* painter, const QStyleOptionViewItem& option,
                   const QModelIndex& index) const
{
    const AppListModel::RowKind kind = kindOf(index);
    if (kind == AppListModel::RowKind::toolsHeader || kind == AppListModel::RowKind::appsHeader) {
        paintHeader(painter, option, index);
        return;
    }
    paintBackground(painter, option);
    const bool selected = option.state & QStyle::State_Selected;
    const Layout parts = layout(option, index);
    const ColorScheme scheme = schemeOf(option);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_icons) {
        const platform::MacPath path(index.data(AppListModel::PathRole).toString().toStdString());
        const QPixmap pixmap = m_icons->icon(path).pixmap(QSize(kIconSize, kIconSize),
                                                          painter->device()->devicePixelRatioF());
        painter->drawPixmap(parts.icon, pixmap, QRectF(pixmap.rect()));
    }
    painter->setFont(nameFont(option.font));
    painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                             : SystemColors::color(SystemColor::label, scheme));
    painter->drawText(parts.name, Qt::AlignLeft | Qt::AlignVCenter, parts.shownName);

    const QFont pill = pillFont(option.font);
    for (const Mark& mark : parts.marks) {
        if (mark.help == unusedHelp()) {
            const QString unused = QStringLiteral("Unused");
            if (!selected) {
                TintedPillPainter::paint(*painter, mark.frame,
                                         {SystemColors::color(SystemColor::orange, scheme), 0.18,
                                          scheme, ColorContrast::standard},
                                         unused, pill);
                continue;
            }
            // Orange does not read on the selection's accent: there the pill takes the
            // selected text's colour, as the row's other marks do.
            const QColor onSelection = option.palette.color(QPalette::HighlightedText);
            TintedPillPainter::paintBackground(*painter, mark.frame, {onSelection, 0.25});
            painter->setFont(pill);
            painter->setPen(onSelection);
            painter->drawText(mark.frame, Qt::AlignCenter, unused);
            continue;
        }
        const std::string_view symbol = mark.help == systemAppHelp() ? "apple.logo" : "mug.fill";
        SymbolImage::paint(*painter, mark.frame, symbol, secondary(option, selected),
                           SymbolImage::font(static_cast<int>(mark.frame.height()) - 2));
    }

    const QFont caption = textFont(TextStyle::caption, option.font);
    painter->setFont(caption);
    painter->setPen(secondary(option, selected));
    painter->drawText(
        parts.subtitle, Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetricsF(caption).elidedText(index.data(AppListModel::SubtitleRole).toString(),
                                          Qt::ElideRight, parts.subtitle.width()));
    painter->restore();
}

QSize AppRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const AppListModel::RowKind kind = kindOf(index);
    if (kind == AppListModel::RowKind::toolsHeader || kind == AppListModel::RowKind::appsHeader)
        return {
            0, static_cast<int>(QFontMetricsF(textFont(TextStyle::caption, option.font)).height()) +
                   14};
    const qreal text = QFontMetricsF(nameFont(option.font)).height() + 1 +
                       QFontMetricsF(textFont(TextStyle::caption, option.font)).height();
    return {0, static_cast<int>(std::max<qreal>(kIconSize, text)) + 2 * kVerticalPadding + 6};
}

bool AppRow::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                       const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event && event->type() == QEvent::ToolTip && kindOf(index) == AppListModel::RowKind::app) {
        for (const Mark& mark : layout(option, index).marks)
            if (mark.frame.contains(event->pos())) {
                QToolTip::showText(event->globalPos(), mark.help, view);
                return true;
            }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

} // namespace veldo::ui
