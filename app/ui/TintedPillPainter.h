// TintedPillPainter: paints a tinted capsule behind a short label, legible in both appearances
// and contrasts; shared by list delegates and the TintedPill widget. GUI thread (fonts).
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>

#include "app/ui/SystemColors.h"

namespace veldo::ui {

class TintedPillPainter
{
public:
    struct Style
    {
        QColor tint;
        double fillOpacity;
        ColorScheme scheme = ColorScheme::light;
        ColorContrast contrast = ColorContrast::standard;
    };

    // The capsule: `tint` at `fillOpacity`, corners of half the height.
    static void paintBackground(QPainter& painter, const QRectF& frame, const Style& style);

    // The label's colour (pillForeground of the style).
    static QColor foreground(const Style& style);

    // Background, then `text` centred in `font` and the foreground colour. The pill adds no
    // spacing: `frame` is the caller's, padding included.
    static void paint(QPainter& painter, const QRectF& frame, const Style& style,
                      const QString& text, const QFont& font);
};

} // namespace veldo::ui
