// BusyIndicator: a small indeterminate progress indicator (a ring of fading ticks). It turns
// while visible and animations are on; otherwise it shows a still frame. GUI thread only.
#pragma once

#include <QWidget>

class QTimer;

namespace veldo::ui {

class BusyIndicator final : public QWidget
{
    Q_OBJECT
public:
    explicit BusyIndicator(int edge = 16, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {m_edge, m_edge}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_edge;
    int m_step = 0;
    QTimer* m_timer;
};

} // namespace veldo::ui
