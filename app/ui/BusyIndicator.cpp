// The indeterminate progress indicator.
#include "app/ui/BusyIndicator.h"

#include <QPainter>
#include <QTimer>

#include "app/ui/SpringAnimation.h"

namespace veldo::ui {

namespace {
constexpr int kTicks = 8;
}

BusyIndicator::BusyIndicator(int edge, QWidget* parent)
    : QWidget(parent), m_edge(edge), m_timer(new QTimer(this))
{
    setFixedSize(edge, edge);
    setAccessibleName(tr("In progress"));
    m_timer->setObjectName(QStringLiteral("turnTimer"));
    m_timer->setInterval(90);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % kTicks;
        update();
    });
}

void BusyIndicator::showEvent(QShowEvent*)
{
    if (animationsEnabled())
        m_timer->start();
}

void BusyIndicator::hideEvent(QHideEvent*)
{
    m_timer->stop();
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = m_edge / 2.0;
    painter.translate(radius, radius);
    QPen pen(palette().color(QPalette::WindowText));
    pen.setWidthF(qMax(1.5, m_edge / 9.0));
    pen.setCapStyle(Qt::RoundCap);
    for (int i = 0; i < kTicks; ++i) {
        QColor c = pen.color();
        c.setAlphaF(0.2f + 0.8f * static_cast<float>((i + kTicks - m_step) % kTicks) / kTicks);
        pen.setColor(c);
        painter.setPen(pen);
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.9));
        painter.rotate(360.0 / kTicks);
    }
}

} // namespace veldo::ui
