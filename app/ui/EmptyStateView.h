// EmptyStateView: what a pane shows when it has nothing to list: a large symbol, a title and a
// sentence, centred.
#pragma once

#include <string>

#include <QLabel>
#include <QWidget>

namespace veldo::ui {

class EmptyStateView final : public QWidget
{
    Q_OBJECT
public:
    EmptyStateView(std::string symbolName, const QString& title, const QString& description,
                   QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    std::string m_symbolName;
    QLabel* m_symbol;
    QLabel* m_title;
    QLabel* m_description;
};

} // namespace veldo::ui
