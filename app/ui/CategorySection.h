// CategorySection: paints a leftover list's section header (the category's badge at 26 points,
// its title over its detail, and the section's total at the trailing edge) and the section's
// card behind its rows. GUI thread.
#pragma once

#include <QPainter>
#include <QStyleOptionViewItem>

namespace veldo::ui::CategorySection {

// The list's padding around the cards.
constexpr int kListPadding = 20;
constexpr int kBadgeSize = 26;
// Space above a section's header (between sections) and between the header and its card.
constexpr int kSectionSpacing = 18;
constexpr int kHeaderSpacing = 8;

void paintHeader(QPainter& painter, const QStyleOptionViewItem& option, const QModelIndex& index);
QSize headerSizeHint(const QStyleOptionViewItem& option, const QModelIndex& index);

// The part of the section's card (corner radius 10) behind one row: its top corners round on
// the first row, its bottom corners on the last.
void paintCard(QPainter& painter, const QRectF& frame, bool first, bool last,
               const QPalette& palette);

} // namespace veldo::ui::CategorySection
