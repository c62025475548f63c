// The grouped form's section card and its header and footer texts.
#include "app/ui/FormSection.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "app/ui/SystemColors.h"

namespace veldo::ui {

FormSection::FormSection(QWidget* parent, qreal radius) : QFrame(parent), m_radius(radius)
{
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(14, 10, 14, 10);
    rows->setSpacing(10);
}

QVBoxLayout* FormSection::rows() const
{
    return static_cast<QVBoxLayout*>(layout());
}

void FormSection::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    QColor card = SystemColors::color(SystemColor::material, scheme);
    card.setAlpha(255);
    painter.setBrush(card);
    painter.setPen(QPen(SystemColors::color(SystemColor::separator, scheme), 0.5));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), m_radius, m_radius);
}

QLabel* formHeader(const QString& text, QWidget* parent)
{
    auto* header = new QLabel(parent);
    header->setTextFormat(Qt::PlainText);
    header->setText(text);
    header->setFont(textFont(TextStyle::headline, parent->font()));
    return header;
}

QLabel* wrappedText(const QString& text, TextStyle style, bool secondary, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(textFont(style, parent->font()));
    if (secondary) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText,
                         SystemColors::color(SystemColor::secondaryLabel,
                                             SystemColors::colorScheme(parent->palette())));
        label->setPalette(palette);
    }
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    label->setSizePolicy(policy);
    label->setWordWrap(true);
    return label;
}

QLabel* formFooter(const QString& text, QWidget* parent)
{
    return wrappedText(text, TextStyle::caption, true, parent);
}

} // namespace veldo::ui
