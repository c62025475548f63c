// SymbolImage: the symbol images the windows name, drawn as Unicode glyphs in a tint.
//
// Each symbol name maps to a short glyph text set in DejaVu Sans, with Symbola for what DejaVu
// lacks (fontconfig picks per character). An unknown name draws nothing. GUI thread for the
// painting and icon functions (they use QFont and QPixmap); glyph() and names() are pure.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QRectF>
#include <QString>

namespace veldo::ui::SymbolImage {

// The glyph text of a symbol name; none for a name without one.
std::optional<QString> glyph(std::string_view name);

// Every symbol name that has a glyph.
const std::vector<std::string_view>& names();

// The symbol font at a pixel size and weight: DejaVu Sans, then Symbola.
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);

// Draws the symbol centred in `frame`, in `tint`.
void paint(QPainter& painter, const QRectF& frame, std::string_view name, const QColor& tint,
           const QFont& font);

// The symbol as an icon of `edge` pixels, for buttons and labels.
QIcon icon(std::string_view name, const QColor& tint, int edge);

} // namespace veldo::ui::SymbolImage
