// The notice banner.
#include "app/ui/NoticeBanner.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

NoticeBanner::NoticeBanner(QWidget* parent)
    : CardFrame(12, 0.15, 12, 4, parent), m_symbol(new QLabel(this)), m_text(new QLabel(this)),
      m_dismiss(new QToolButton(this))
{
    m_text->setObjectName(QStringLiteral("messageLabel"));
    m_dismiss->setObjectName(QStringLiteral("dismissButton"));
    setMaximumWidth(kMaxCardWidth + shadowMargins().left() + shadowMargins().right());
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(shadowMargins() + QMargins(14, 10, 14, 10));
    row->setSpacing(10);
    m_text->setFont(textFont(TextStyle::callout, font()));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_dismiss->setAutoRaise(true);
    m_dismiss->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_dismiss->setText(tr("Dismiss"));
    m_dismiss->setToolTip(tr("Dismiss"));
    m_dismiss->setAccessibleName(tr("Dismiss"));
    row->addWidget(m_symbol);
    row->addWidget(m_text, 1);
    row->addSpacing(8);
    row->addWidget(m_dismiss);
    connect(m_dismiss, &QToolButton::clicked, this, &NoticeBanner::dismissRequested);
    applyColors();
}

QSize NoticeBanner::sizeHint() const
{
    const int width = maximumWidth();
    return {width, heightForWidth(width)};
}

void NoticeBanner::setMessage(const QString& message)
{
    m_text->setText(message);
    setAnnouncement(message);
}

void NoticeBanner::applyColors()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const int edge = QFontMetrics(m_text->font()).height();
    m_symbol->setPixmap(SymbolImage::icon("info.circle.fill",
                                          SystemColors::color(SystemColor::accent, scheme), edge)
                            .pixmap(edge, edge));
    m_dismiss->setIcon(SymbolImage::icon(
        "xmark.circle.fill", SystemColors::color(SystemColor::secondaryLabel, scheme), 16));
}

void NoticeBanner::changeEvent(QEvent* event)
{
    CardFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

} // namespace veldo::ui
