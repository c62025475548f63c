// DropOverlay: what the main window shows over everything while something is dragged over it:
// an accent wash over the window and a centred card with a dashed accent border inviting the
// user to drop an app. It paints only: it takes no mouse, keyboard or drop events, so the window
// beneath keeps handling the drag. GUI thread.
#pragma once

#include <QWidget>

namespace veldo::ui {

class DropOverlay final : public QWidget
{
    Q_OBJECT
public:
    explicit DropOverlay(QWidget* parent = nullptr);

    static QString title();
    static QString subtitle();

    // The card's rectangle for the overlay's current size.
    QRectF cardRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont symbolFont() const;
    QFont titleFont() const;
};

} // namespace veldo::ui
