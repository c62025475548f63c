// Colour blending in sRGB.
#include "app/ui/ColorMix.h"

#include <algorithm>

namespace veldo::ui {

QColor mixColor(const QColor& base, const QColor& other, double fraction)
{
    if (!base.isValid() || !other.isValid())
        return base;
    const double f = fraction > 0 ? std::min(fraction, 1.0) : 0.0;
    const QColor a = base.toRgb();
    const QColor b = other.toRgb();
    const auto blend = [f](float x, float y) { return x + (y - x) * static_cast<float>(f); };
    return QColor::fromRgbF(blend(a.redF(), b.redF()), blend(a.greenF(), b.greenF()),
                            blend(a.blueF(), b.blueF()), blend(a.alphaF(), b.alphaF()));
}

QColor pillForeground(const QColor& tint, ColorScheme scheme, ColorContrast contrast)
{
    if (scheme == ColorScheme::dark)
        return contrast == ColorContrast::standard ? tint : mixColor(tint, Qt::white, 0.3);
    return mixColor(tint, Qt::black, contrast == ColorContrast::standard ? 0.35 : 0.55);
}

} // namespace veldo::ui
