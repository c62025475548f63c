// The banner card's painting.
#include "app/ui/CardFrame.h"

#include <cmath>

#include <QPainter>

#include "app/ui/SystemColors.h"
#include "platform/qt/Announcer.h"

namespace veldo::ui {

CardFrame::CardFrame(qreal cornerRadius, qreal shadowOpacity, qreal shadowRadius, qreal shadowDrop,
                     QWidget* parent)
    : QWidget(parent), m_cornerRadius(cornerRadius), m_shadowOpacity(shadowOpacity),
      m_shadowRadius(shadowRadius), m_shadowDrop(shadowDrop)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

QMargins CardFrame::shadowMargins() const
{
    const int side = static_cast<int>(std::ceil(m_shadowRadius * 0.75));
    const int drop = static_cast<int>(std::ceil(m_shadowDrop));
    return {side, std::max(0, side - drop), side, side + drop};
}

QRectF CardFrame::cardRect() const
{
    return QRectF(rect()).marginsRemoved(shadowMargins());
}

void CardFrame::setAnnouncement(const QString& text)
{
    m_announcement = text;
    setAccessibleDescription(text);
    if (!isVisible() || m_announcement == m_announced)
        return;
    m_announced = m_announcement;
    platform::qt::Announcer::announce(this, m_announcement);
}

void CardFrame::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    setAnnouncement(m_announcement);
}

void CardFrame::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_announced.clear();
}

void CardFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const QRectF card = cardRect();

    // The shadow: widening, fading layers around the card, moved down by the drop.
    painter.setPen(Qt::NoPen);
    const int layers = 8;
    const qreal reach = m_shadowRadius * 0.75;
    for (int i = layers; i >= 1; --i) {
        const qreal grow = reach * i / layers;
        painter.setBrush(QColor(0, 0, 0, qRound(255 * m_shadowOpacity * 0.9 / layers)));
        painter.drawRoundedRect(card.translated(0, m_shadowDrop).adjusted(-grow, -grow, grow, grow),
                                m_cornerRadius + grow, m_cornerRadius + grow);
    }

    QColor material = SystemColors::color(SystemColor::material, scheme);
    material.setAlpha(255);
    painter.setBrush(material);
    painter.setPen(QPen(SystemColors::color(SystemColor::separator, scheme), 0.5));
    painter.drawRoundedRect(card.adjusted(0.25, 0.25, -0.25, -0.25), m_cornerRadius,
                            m_cornerRadius);
}

} // namespace veldo::ui
