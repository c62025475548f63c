// FormSection: one section of a grouped settings form: its rows on a rounded card, and the
// header and caption footer texts placed around it. GUI thread.
#pragma once

#include <QFrame>

class QLabel;
class QVBoxLayout;

namespace veldo::ui {

class FormSection : public QFrame
{
    Q_OBJECT
public:
    explicit FormSection(QWidget* parent = nullptr);

    // The card's rows, top to bottom.
    QVBoxLayout* rows() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A section header in the headline style.
QLabel* formHeader(const QString& text, QWidget* parent);
// A section footer: wrapped plain text in the caption style and the secondary colour, which
// never widens its form.
QLabel* formFooter(const QString& text, QWidget* parent);

} // namespace veldo::ui
