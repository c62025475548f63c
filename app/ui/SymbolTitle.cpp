// The sheet title.
#include "app/ui/SymbolTitle.h"

#include <utility>

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

SymbolTitle::SymbolTitle(std::string symbol, const QString& text, QWidget* parent)
    : QWidget(parent), m_symbolName(std::move(symbol)), m_symbol(new QLabel(this)),
      m_text(new QLabel(text, this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    QFont font = textFont(TextStyle::title3, this->font());
    font.setWeight(QFont::DemiBold);
    m_text->setFont(font);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    row->addWidget(m_symbol, 0, Qt::AlignTop);
    row->addWidget(m_text, 1);
    setAccessibleName(text);
    applyColors();
}

QString SymbolTitle::text() const
{
    return m_text->text();
}

void SymbolTitle::applyColors()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const int edge = QFontMetrics(m_text->font()).height();
    m_symbol->setPixmap(
        SymbolImage::icon(m_symbolName, SystemColors::color(SystemColor::label, scheme), edge)
            .pixmap(edge, edge));
}

void SymbolTitle::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

} // namespace veldo::ui
