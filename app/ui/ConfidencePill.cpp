// A confidence and its count.
#include "app/ui/ConfidencePill.h"

#include <QHBoxLayout>

#include "app/ui/ConfidenceBadge.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/TextStyle.h"
#include "app/ui/TintedPill.h"

namespace veldo::ui {

QString ConfidencePill::label(core::MatchConfidence confidence, int count)
{
    return QString::number(count) + QStringLiteral(" ") + ConfidenceBadge::title(confidence);
}

ConfidencePill::ConfidencePill(core::MatchConfidence confidence, int count, QWidget* parent)
    : QWidget(parent), m_confidence(confidence), m_count(count)
{
    const QColor tint = SystemColors::color(ConfidenceBadge::tint(confidence),
                                            SystemColors::colorScheme(palette()));
    const QString symbol =
        SymbolImage::glyph(ConfidenceBadge::symbolName(confidence)).value_or(QString());
    auto* pill = new TintedPill(symbol + QStringLiteral(" ") + label(), tint, 0.14,
                                QMargins(8, 5, 8, 5), this);
    QFont font = textFont(TextStyle::caption, this->font());
    font.setWeight(QFont::DemiBold);
    pill->setFont(font);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pill);
    setToolTip(ConfidenceBadge::help(confidence));
    setAccessibleName(label() + QStringLiteral(" confidence"));
}

} // namespace veldo::ui
