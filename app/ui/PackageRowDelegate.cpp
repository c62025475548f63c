// Painting and geometry of the package sections and rows.
#include "app/ui/PackageRowDelegate.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QPainter>

#include "app/ui/ListRowPainting.h"
#include "app/ui/PackageListModel.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {
namespace {

namespace P = ListRowPainting;
constexpr int kListInset = 20;
constexpr int kSectionSpacing = 18;
constexpr int kDividerInset = 42;

QFont nameFont(const QFont& base)
{
    QFont f = base;
    f.setWeight(QFont::Medium);
    return f;
}

} // namespace

PackageRowDelegate::PackageRowDelegate(QAbstractItemView* view) : CheckListDelegate(view)
{
}

const PackageListModel& PackageRowDelegate::model(const QModelIndex& index) const
{
    return *static_cast<const PackageListModel*>(index.model());
}

PackageRowDelegate::Geometry PackageRowDelegate::geometry(const QRect& rowRect,
                                                          const QModelIndex& index) const
{
    const PackageListModel& m = model(index);
    const int row = index.row();
    const QFont base = view()->font();
    const QRect content = rowRect.adjusted(kListInset, 0, -kListInset, 0);
    const QFontMetrics caption(textFont(TextStyle::caption, base));
    Geometry g;
    if (m.isHeader(row))
        return P::headerGeometry<Geometry>(
            P::sectionHeader(content, m.isFirstGroup(row) ? 0 : kSectionSpacing,
                             QString::number(m.group(row).packages.size()), base));
    const core::DevPackage& package = m.package(row);
    const QFontMetrics name(nameFont(base));
    const QFontMetrics sizeMetrics(P::rowSizeFont(base));
    const P::RowFrame frame = P::rowFrame(content);
    g.card = frame.card;
    g.checkbox = frame.checkbox;
    const int centre = frame.centre;
    int right = frame.inner.right() + 1;
    if (package.sizeBytes > 0) {
        g.size = P::trailingText(right, centre, sizeMetrics, P::sizeString(package.sizeBytes));
        right = g.size.left();
    }
    const int x = frame.textLeft;
    const int width = std::max(0, right - 8 - x);
    const int textHeight = name.height() + (package.version.empty() ? 0 : 2 + caption.height());
    const int top = centre - textHeight / 2;
    g.title = QRect(x, top, width, name.height());
    if (!package.version.empty())
        g.detail = QRect(x, g.title.bottom() + 1 + 2, width, caption.height());
    return g;
}

int PackageRowDelegate::rowHeight(const QModelIndex& index, int width) const
{
    const Geometry g = geometry(QRect(0, 0, width, 1), index);
    if (model(index).isHeader(index.row()))
        return P::sectionHeaderHeight(P::sectionHeaderOf(g));
    // Every row is as tall as one with a version, so rows line up.
    const QFont base = view()->font();
    const int text = QFontMetrics(nameFont(base)).height() + 2 +
                     QFontMetrics(textFont(TextStyle::caption, base)).height();
    return std::max(text, P::kCheckbox) + 2 * P::kRowPaddingV;
}

QRect PackageRowDelegate::checkboxRect(const QRect& rowRect, const QModelIndex& index) const
{
    return P::checkboxHitArea(geometry(rowRect, index).checkbox);
}

void PackageRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    const PackageListModel& m = model(index);
    const int row = index.row();
    const Geometry g = geometry(option.rect, index);
    const QFont base = view()->font();
    const ColorScheme scheme = SystemColors::colorScheme(view()->palette());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QFont caption = textFont(TextStyle::caption, base);
    if (m.isHeader(row)) {
        const core::PackageGroup& group = m.group(row);
        const PackageListModel::ManagerHeader header = PackageListModel::header(group.manager);
        P::paintSectionHeader(*painter, P::sectionHeaderOf(g), header.symbol,
                              SystemColors::color(header.tint, scheme), header.title,
                              header.subtitle, QString::number(group.packages.size()), base,
                              scheme);
        painter->restore();
        return;
    }
    const core::DevPackage& package = m.package(row);
    P::paintCard(*painter, g.card, m.isFirstInGroup(row), m.isLastInGroup(row), kDividerInset,
                 scheme);
    paintCheckbox(*painter, g.checkbox, m.isChecked(row), index);
    const QFont name = nameFont(base);
    painter->setFont(name);
    painter->setPen(SystemColors::color(SystemColor::label, scheme));
    painter->drawText(g.title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      QFontMetrics(name).elidedText(QString::fromStdString(package.name),
                                                    Qt::ElideMiddle, g.title.width()));
    painter->setPen(P::secondary(scheme));
    if (!g.detail.isEmpty()) {
        painter->setFont(caption);
        painter->drawText(g.detail, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          QFontMetrics(caption).elidedText(QString::fromStdString(package.version),
                                                           Qt::ElideMiddle, g.detail.width()));
    }
    if (!g.size.isEmpty()) {
        painter->setFont(P::rowSizeFont(base));
        painter->drawText(g.size, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                          P::sizeString(package.sizeBytes));
    }
    painter->restore();
}

} // namespace veldo::ui
