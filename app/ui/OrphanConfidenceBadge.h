// OrphanConfidenceBadge: the small tinted capsule naming how sure the orphan scan is of a group or
// a file: its title, tint and help text, its size and its painting (the orphan list's delegate
// paints it inside rows). GUI thread for the painting; the texts are pure.
#pragma once

#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include "app/core/MatchConfidence.h"
#include "app/ui/SystemColors.h"

class QPainter;

namespace veldo::ui::OrphanConfidenceBadge {

inline constexpr double kFillOpacity = 0.14;

// "Certain", "High", "Medium", "Low".
QString title(core::MatchConfidence confidence);
// Green, blue, orange, red.
SystemColor tint(core::MatchConfidence confidence);
// Medium has its own help text; every other value shares the uncertain one.
QString helpText(core::MatchConfidence confidence);
// The caption-2 style, semibold, made from `base`.
QFont font(const QFont& base);
// The capsule's size: the title padded 5 points across and 2 down.
QSizeF size(core::MatchConfidence confidence, const QFont& base);
// Paints the capsule into `frame` in the appearance `scheme`.
void paint(QPainter& painter, const QRectF& frame, core::MatchConfidence confidence,
           const QFont& base, ColorScheme scheme);

} // namespace veldo::ui::OrphanConfidenceBadge
