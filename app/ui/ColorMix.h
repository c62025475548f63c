// mixColor and pillForeground: the colour blend behind tinted pills, and the pill's label colour.
// Pure functions, any thread.
#pragma once

#include <QColor>

#include "app/ui/SystemColors.h"

namespace veldo::ui {

// `base` moved toward `other` by `fraction`, blended in sRGB (alpha too): 0 gives the base, 1 the
// other colour. The fraction is clamped to 0…1 (a NaN counts as 0). When either colour has no
// sRGB form (an invalid colour) the answer is the base.
QColor mixColor(const QColor& base, const QColor& other, double fraction);

// The label colour on a pill of `tint`: dark standard keeps the tint, dark increased mixes in
// white by 0.3, light standard black by 0.35, light increased black by 0.55.
QColor pillForeground(const QColor& tint, ColorScheme scheme, ColorContrast contrast);

} // namespace veldo::ui
