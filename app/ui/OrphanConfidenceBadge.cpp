// The orphan confidence capsule.
#include "app/ui/OrphanConfidenceBadge.h"

#include <QFontMetricsF>
#include <QPainter>

#include "app/ui/TextStyle.h"
#include "app/ui/TintedPillPainter.h"

namespace veldo::ui::OrphanConfidenceBadge {

using core::MatchConfidence;

QString title(MatchConfidence confidence)
{
    switch (confidence) {
    case MatchConfidence::certain:
        return QStringLiteral("Certain");
    case MatchConfidence::high:
        return QStringLiteral("High");
    case MatchConfidence::medium:
        return QStringLiteral("Medium");
    case MatchConfidence::low:
        break;
    }
    return QStringLiteral("Low");
}

SystemColor tint(MatchConfidence confidence)
{
    switch (confidence) {
    case MatchConfidence::certain:
        return SystemColor::green;
    case MatchConfidence::high:
        return SystemColor::blue;
    case MatchConfidence::medium:
        return SystemColor::orange;
    case MatchConfidence::low:
        break;
    }
    return SystemColor::red;
}

QString helpText(MatchConfidence confidence)
{
    if (confidence == MatchConfidence::medium)
        return QStringLiteral("Probably left by an app that is gone. Still review it.");
    return QStringLiteral("Uncertain: recently used, shared by a vendor, or holding documents. "
                          "Check it before removing.");
}

QFont font(const QFont& base)
{
    QFont f = textFont(TextStyle::caption2, base);
    f.setWeight(QFont::DemiBold);
    return f;
}

QSizeF size(MatchConfidence confidence, const QFont& base)
{
    const QFontMetricsF metrics(font(base));
    return {metrics.horizontalAdvance(title(confidence)) + 10, metrics.height() + 4};
}

void paint(QPainter& painter, const QRectF& frame, MatchConfidence confidence, const QFont& base,
           ColorScheme scheme)
{
    TintedPillPainter::paint(painter, frame,
                             {SystemColors::color(tint(confidence), scheme), kFillOpacity, scheme,
                              ColorContrast::standard},
                             title(confidence), font(base));
}

} // namespace veldo::ui::OrphanConfidenceBadge
