// TintedPill: a widget showing a short label on a tinted capsule (TintedPillPainter), with the
// caller's padding and font; the appearance follows the widget's palette.
#pragma once

#include <QColor>
#include <QMargins>
#include <QWidget>

namespace veldo::ui {

class TintedPill final : public QWidget
{
    Q_OBJECT
public:
    TintedPill(QString text, QColor tint, double fillOpacity, QMargins padding,
               QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_tint;
    double m_fillOpacity;
    QMargins m_padding;
};

} // namespace veldo::ui
