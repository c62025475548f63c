// FormSection: one section of a grouped settings form: its rows on a rounded card, and the
// header and caption footer texts placed around it. GUI thread.
#pragma once

#include <QFrame>

#include "app/ui/TextStyle.h"

class QLabel;
class QVBoxLayout;

namespace veldo::ui {

class FormSection : public QFrame
{
    Q_OBJECT
public:
    // The card's corners have `radius` points.
    explicit FormSection(QWidget* parent = nullptr, qreal radius = 8);

    // The card's rows, top to bottom.
    QVBoxLayout* rows() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal m_radius;
};

// Wrapped plain text in `style`, in the secondary colour when `secondary`: it takes the width it
// is given, never widening its form, and the height that width needs.
QLabel* wrappedText(const QString& text, TextStyle style, bool secondary, QWidget* parent);
inline QLabel* wrappedSecondary(const QString& text, TextStyle style, QWidget* parent)
{
    return wrappedText(text, style, true, parent);
}
// A section header in the headline style.
QLabel* formHeader(const QString& text, QWidget* parent);
// A section footer: wrapped plain text in the caption style and the secondary colour, which
// never widens its form.
QLabel* formFooter(const QString& text, QWidget* parent);

} // namespace veldo::ui
