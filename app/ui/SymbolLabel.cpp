// A symbol before a wrapped text.
#include "app/ui/SymbolLabel.h"

#include <QHBoxLayout>
#include <QLabel>

#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"

namespace veldo::ui {

SymbolLabel::SymbolLabel(std::string symbol, const QString& text, QColor tint, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    if (!tint.isValid())
        tint = SystemColors::color(SystemColor::label, SystemColors::colorScheme(palette()));
    const int edge = QFontMetrics(font()).height();
    m_symbol = new QLabel(this);
    m_symbol->setPixmap(SymbolImage::icon(symbol, tint, edge).pixmap(edge, edge));
    m_symbol->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_symbol->setFixedWidth(edge + 2);
    m_text = new QLabel(text, this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(m_symbol, 0, Qt::AlignTop);
    row->addWidget(m_text, 1);
}

QString SymbolLabel::text() const
{
    return m_text->text();
}

void SymbolLabel::setText(const QString& text)
{
    m_text->setText(text);
}

} // namespace veldo::ui
