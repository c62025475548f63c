// The search box of the sidebar and the tool screens.
#include "app/ui/SearchField.h"

#include <QAction>

#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"

namespace veldo::ui {

SearchField::SearchField(const QString& placeholder, QWidget* parent) : QLineEdit(parent)
{
    setPlaceholderText(placeholder);
    setClearButtonEnabled(true);
    setAccessibleName(placeholder);
    const QColor tint =
        SystemColors::color(SystemColor::secondaryLabel, SystemColors::colorScheme(palette()));
    addAction(SymbolImage::icon("magnifyingglass.circle.fill", tint, 14), LeadingPosition);
    connect(this, &QLineEdit::textEdited, this, &SearchField::textEditedByUser);
}

void SearchField::showText(const QString& text)
{
    if (this->text() != text)
        setText(text);
}

} // namespace veldo::ui
