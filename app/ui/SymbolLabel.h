// SymbolLabel: a label with a symbol image in front: the symbol in its tint, the text wrapping in
// the label colour (a warning row of a sheet, a summary row). GUI thread.
#pragma once

#include <string>

#include <QColor>
#include <QWidget>

class QLabel;

namespace veldo::ui {

class SymbolLabel final : public QWidget
{
    Q_OBJECT
public:
    // An invalid tint draws the symbol in the label colour.
    SymbolLabel(std::string symbol, const QString& text, QColor tint, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    QLabel* textLabel() const { return m_text; }

private:
    QLabel* m_symbol;
    QLabel* m_text;
};

} // namespace veldo::ui
