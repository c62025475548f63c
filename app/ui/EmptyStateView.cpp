// The empty-state view.
#include "app/ui/EmptyStateView.h"

#include <utility>

#include <QEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

EmptyStateView::EmptyStateView(std::string symbolName, const QString& title,
                               const QString& description, QWidget* parent)
    : QWidget(parent), m_symbolName(std::move(symbolName)), m_symbol(new QLabel(this)),
      m_title(new QLabel(title, this)), m_description(new QLabel(description, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(8);
    layout->addStretch(1);
    m_symbol->setAlignment(Qt::AlignCenter);
    m_title->setObjectName(QStringLiteral("emptyStateTitle"));
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);
    QFont titleFont = textFont(TextStyle::title2, font());
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_description->setObjectName(QStringLiteral("emptyStateDescription"));
    m_description->setAlignment(Qt::AlignCenter);
    m_description->setWordWrap(true);
    m_description->setMaximumWidth(420);
    layout->addWidget(m_symbol);
    layout->addWidget(m_title);
    // Centred between stretches, not by alignment: an aligned label keeps its preferred width
    // and loses the lines it wraps onto.
    auto* centred = new QHBoxLayout;
    centred->addStretch(0);
    centred->addWidget(m_description, 1);
    centred->addStretch(0);
    layout->addLayout(centred);
    layout->addStretch(1);
    applyColors();
}

void EmptyStateView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    QWidget::changeEvent(event);
}

void EmptyStateView::applyColors()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const QColor secondary = SystemColors::color(SystemColor::secondaryLabel, scheme);
    m_symbol->setPixmap(SymbolImage::icon(m_symbolName, secondary, 44).pixmap(44, 44));
    QPalette p = m_description->palette();
    p.setColor(QPalette::WindowText, secondary);
    m_description->setPalette(p);
}

} // namespace veldo::ui
