// The orphan confidence badge's help texts.
#include "app/ui/OrphanConfidenceBadge.h"

namespace veldo::ui::OrphanConfidenceBadge {

QString helpText(core::MatchConfidence confidence)
{
    if (confidence == core::MatchConfidence::medium)
        return QStringLiteral("Probably left by an app that is gone. Still review it.");
    return QStringLiteral("Uncertain: recently used, shared by a vendor, or holding documents. "
                          "Check it before removing.");
}

} // namespace veldo::ui::OrphanConfidenceBadge
