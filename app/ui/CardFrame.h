// CardFrame: the floating card behind banners: a rounded rectangle on the regular material,
// outlined by a half-point separator line, with a soft black shadow below. The shadow is painted
// inside the widget's margins (shadowMargins()); the card fills the rest.
//
// A banner appears without the user asking, so its text is announced: setAnnouncement() announces
// a text once while the card is shown, and again after the card was hidden and shown again.
#pragma once

#include <QMargins>
#include <QWidget>

namespace veldo::ui {

class CardFrame : public QWidget
{
    Q_OBJECT
public:
    CardFrame(qreal cornerRadius, qreal shadowOpacity, qreal shadowRadius, qreal shadowDrop,
              QWidget* parent = nullptr);

    QMargins shadowMargins() const;
    // The card's rectangle inside the widget.
    QRectF cardRect() const;

protected:
    void setAnnouncement(const QString& text);

    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    qreal m_cornerRadius;
    qreal m_shadowOpacity;
    qreal m_shadowRadius;
    qreal m_shadowDrop;
    QString m_announcement;
    QString m_announced;
};

} // namespace veldo::ui
