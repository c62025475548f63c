// ConfidenceBadge: a leftover's match confidence as a small tinted capsule with its title, and
// the per-confidence table the badge and ConfidencePill share (title, symbol, tint, help).
// GUI thread for painting; the table is pure.
#pragma once

#include <string_view>

#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>

#include "app/core/MatchConfidence.h"
#include "app/ui/SystemColors.h"

namespace veldo::ui::ConfidenceBadge {

QString title(core::MatchConfidence confidence);
std::string_view symbolName(core::MatchConfidence confidence);
SystemColor tint(core::MatchConfidence confidence);
QString help(core::MatchConfidence confidence);

// The caption-2 semibold font of the badge.
QFont font(const QFont& base);
// The badge's size: the title padded 5 across and 2 down.
QSizeF size(core::MatchConfidence confidence, const QFont& base);
// Paints the badge in `frame`.
void paint(QPainter& painter, const QRectF& frame, core::MatchConfidence confidence,
           const QFont& base, ColorScheme scheme);

} // namespace veldo::ui::ConfidenceBadge
