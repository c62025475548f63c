// A status banner of the detail screen.
#include "app/ui/StatusBanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/ui/SheetParts.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

StatusBanner::StatusBanner(std::string systemImage, const QString& title, const QString& message,
                           QColor tint, QWidget* parent)
    : QWidget(parent), m_systemImage(std::move(systemImage)), m_tint(tint)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(SymbolImage::icon(m_systemImage, tint, 22).pixmap(22, 22));
    row->addWidget(symbol, 0, Qt::AlignVCenter);
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("titleLabel"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(textFont(TextStyle::headline, font()));
    m_message = secondaryText(message, TextStyle::caption, this);
    m_message->setObjectName(QStringLiteral("messageLabel"));
    column->addWidget(m_title);
    column->addWidget(m_message);
    row->addLayout(column, 1);
    setAccessibleName(title);
    setAccessibleDescription(message);
}

void StatusBanner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = m_tint;
    fill.setAlphaF(0.1F);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 12, 12);
    painter.fillPath(path, fill);
}

} // namespace veldo::ui
