// InsetWell: a rounded rectangle (corner radius 8) filled with the quaternary label colour at half
// opacity, behind lists and command lines inside sheets. Its children lie on top. GUI thread.
#pragma once

#include <QWidget>

namespace veldo::ui {

class InsetWell : public QWidget
{
    Q_OBJECT
public:
    explicit InsetWell(QWidget* parent = nullptr);

    // The fill for a palette: the label colour at 10 % (the quaternary style), halved.
    static QColor fillColor(const QPalette& palette);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace veldo::ui
