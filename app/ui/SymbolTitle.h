// SymbolTitle: a sheet's title: a symbol before a wrapped line of text in the title-3 style,
// semibold, in the label colour. GUI thread.
#pragma once

#include <string>

#include <QWidget>

class QLabel;

namespace veldo::ui {

class SymbolTitle final : public QWidget
{
    Q_OBJECT
public:
    SymbolTitle(std::string symbol, const QString& text, QWidget* parent = nullptr);

    QString text() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    std::string m_symbolName;
    QLabel* m_symbol;
    QLabel* m_text;
};

} // namespace veldo::ui
