// The confidence badge and its table.
#include "app/ui/ConfidenceBadge.h"

#include <QFontMetricsF>

#include "app/ui/TextStyle.h"
#include "app/ui/TintedPillPainter.h"

namespace veldo::ui::ConfidenceBadge {

QString title(core::MatchConfidence confidence)
{
    switch (confidence) {
    case core::MatchConfidence::certain:
        return QStringLiteral("Certain");
    case core::MatchConfidence::high:
        return QStringLiteral("High");
    case core::MatchConfidence::medium:
        return QStringLiteral("Medium");
    case core::MatchConfidence::low:
        return QStringLiteral("Low");
    }
    return {};
}

std::string_view symbolName(core::MatchConfidence confidence)
{
    switch (confidence) {
    case core::MatchConfidence::certain:
        return "checkmark.seal.fill";
    case core::MatchConfidence::high:
        return "checkmark.circle.fill";
    case core::MatchConfidence::medium:
        return "questionmark.circle.fill";
    case core::MatchConfidence::low:
        return "exclamationmark.triangle.fill";
    }
    return {};
}

SystemColor tint(core::MatchConfidence confidence)
{
    switch (confidence) {
    case core::MatchConfidence::certain:
        return SystemColor::green;
    case core::MatchConfidence::high:
        return SystemColor::blue;
    case core::MatchConfidence::medium:
        return SystemColor::orange;
    case core::MatchConfidence::low:
        return SystemColor::red;
    }
    return SystemColor::gray;
}

QString help(core::MatchConfidence confidence)
{
    switch (confidence) {
    case core::MatchConfidence::certain:
        return QStringLiteral("Exact app bundle or exact bundle identifier match.");
    case core::MatchConfidence::high:
        return QStringLiteral("Strong bundle identifier match.");
    case core::MatchConfidence::medium:
        return QStringLiteral("App-name folder, installer receipt or partial bundle identifier "
                              "match. Review before removing.");
    case core::MatchConfidence::low:
        return QStringLiteral("Loose name match, or data shared with another installed copy of "
                              "the app. Review before removing.");
    }
    return {};
}

QFont font(const QFont& base)
{
    QFont f = textFont(TextStyle::caption2, base);
    f.setWeight(QFont::DemiBold);
    return f;
}

QSizeF size(core::MatchConfidence confidence, const QFont& base)
{
    const QFontMetricsF metrics(font(base));
    return {metrics.horizontalAdvance(title(confidence)) + 10, metrics.height() + 4};
}

void paint(QPainter& painter, const QRectF& frame, core::MatchConfidence confidence,
           const QFont& base, ColorScheme scheme)
{
    TintedPillPainter::paint(
        painter, frame,
        {SystemColors::color(tint(confidence), scheme), 0.14, scheme, ColorContrast::standard},
        title(confidence), font(base));
}

} // namespace veldo::ui::ConfidenceBadge
