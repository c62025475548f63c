// The tool screens' shared pieces.
#include "app/ui/ToolScreenParts.h"

#include <utility>

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/BusyIndicator.h"
#include "app/ui/SymbolImage.h"

namespace veldo::ui {

ScreenIcon::ScreenIcon(std::string symbol, SystemColor from, SystemColor to, QWidget* parent)
    : QWidget(parent), m_symbol(std::move(symbol)), m_from(from), m_to(to)
{
    setFixedSize(64, 64);
    setAccessibleName(QString());
}

void ScreenIcon::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    QLinearGradient gradient(QPointF(0, 0), QPointF(64, 64));
    gradient.setColorAt(0, SystemColors::color(m_from, scheme));
    gradient.setColorAt(1, SystemColors::color(m_to, scheme));
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 16, 16);
    painter.fillPath(path, gradient);
    SymbolImage::paint(painter, QRectF(rect()), m_symbol, Qt::white,
                       SymbolImage::font(28 * 96 / 72 * 3 / 4, QFont::DemiBold));
}

QWidget* screenTitleBlock(const QString& title, const QString& subtitle, QWidget* parent)
{
    auto* block = new QWidget(parent);
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* titleLabel = new QLabel(title, block);
    QFont titleFont = textFont(TextStyle::title, parent->font());
    titleFont.setWeight(QFont::Bold);
    titleLabel->setFont(titleFont);
    auto* subtitleLabel = new QLabel(subtitle, block);
    subtitleLabel->setFont(textFont(TextStyle::caption, parent->font()));
    QPalette p = subtitleLabel->palette();
    p.setColor(QPalette::WindowText,
               SystemColors::color(SystemColor::secondaryLabel,
                                   SystemColors::colorScheme(parent->palette())));
    subtitleLabel->setPalette(p);
    column->addStretch(1);
    column->addWidget(titleLabel);
    column->addWidget(subtitleLabel);
    column->addStretch(1);
    return block;
}

QWidget* screenDivider(QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, SystemColors::color(SystemColor::separator,
                                                     SystemColors::colorScheme(parent->palette())));
    line->setPalette(p);
    return line;
}

QLabel* secondaryLabel(TextStyle style, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(textFont(style, parent->font()));
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText,
               SystemColors::color(SystemColor::secondaryLabel,
                                   SystemColors::colorScheme(parent->palette())));
    label->setPalette(p);
    return label;
}

ScreenHeader screenHeader(const std::string& symbol, SystemColor from, SystemColor to,
                          const QString& title, const QString& subtitle, QWidget* screen)
{
    ScreenHeader header{};
    header.widget = new QWidget(screen);
    header.row = new QHBoxLayout(header.widget);
    header.row->setContentsMargins(20, 20, 20, 20);
    header.row->setSpacing(16);
    header.row->addWidget(new ScreenIcon(symbol, from, to, header.widget));
    header.row->addWidget(screenTitleBlock(title, subtitle, header.widget));
    header.row->addStretch(1);
    header.totals = new QWidget(header.widget);
    auto* totals = new QVBoxLayout(header.totals);
    totals->setContentsMargins(0, 0, 0, 0);
    totals->setSpacing(2);
    header.total = new QLabel(header.totals);
    QFont totalFont = textFont(TextStyle::title2, screen->font());
    totalFont.setWeight(QFont::DemiBold);
    header.total->setFont(totalFont);
    header.total->setAlignment(Qt::AlignRight);
    header.caption = secondaryLabel(TextStyle::caption, header.totals);
    header.caption->setAlignment(Qt::AlignRight);
    totals->addWidget(header.total);
    totals->addWidget(header.caption);
    header.row->addWidget(header.totals);
    return header;
}

QWidget* bottomBarBox(QWidget* screen)
{
    auto* box = new QWidget(screen);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(screenDivider(box));
    return box;
}

QWidget* scanningPlaceholder(const QString& message, QWidget* parent)
{
    auto* page = new QWidget(parent);
    auto* column = new QVBoxLayout(page);
    column->setSpacing(12);
    column->addStretch(1);
    column->addWidget(new BusyIndicator(24, page), 0, Qt::AlignHCenter);
    auto* label = new QLabel(message, page);
    label->setObjectName(QStringLiteral("scanningMessage"));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText,
               SystemColors::color(SystemColor::secondaryLabel,
                                   SystemColors::colorScheme(parent->palette())));
    label->setPalette(p);
    column->addWidget(label);
    column->addStretch(1);
    return page;
}

void makeProminent(QPushButton* button)
{
    const ColorScheme scheme = SystemColors::colorScheme(button->palette());
    button->setStyleSheet(
        QStringLiteral(
            "QPushButton { background: %1; color: white; border: none; border-radius: 7px;"
            " padding: 7px 16px; }"
            "QPushButton:pressed { background: %2; }"
            "QPushButton:focus { border: 2px solid %3; }")
            .arg(SystemColors::color(SystemColor::accent, scheme).name(),
                 SystemColors::color(SystemColor::accent, scheme).darker(115).name(),
                 SystemColors::color(SystemColor::accent, scheme).lighter(140).name()));
}

QToolButton* headerIconButton(const char* symbol, const QString& title, const QString& help,
                              QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(title);
    button->setAccessibleName(title);
    button->setToolTip(help);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIcon(SymbolImage::icon(
        symbol,
        SystemColors::color(SystemColor::label, SystemColors::colorScheme(parent->palette())), 20));
    button->setIconSize(QSize(20, 20));
    button->setAutoRaise(true);
    return button;
}

ActionBar::ActionBar(QWidget* parent) : QWidget(parent), m_row(new QHBoxLayout(this))
{
    m_row->setContentsMargins(20, 12, 20, 12);
    m_row->setSpacing(12);
}

void ActionBar::arrange(std::initializer_list<QWidget*> leading, QWidget* trailing)
{
    for (QWidget* widget : leading)
        m_row->addWidget(widget);
    m_row->addStretch(1);
    m_row->addWidget(trailing);
}

void ActionBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(
        rect(), SystemColors::color(SystemColor::material, SystemColors::colorScheme(palette())));
}

DestructiveButton::DestructiveButton(std::string symbol, const QString& title,
                                     const QString& busyTitle, int minimumWidth, QWidget* parent)
    : QPushButton(parent), m_symbol(std::move(symbol)), m_title(title), m_busyTitle(busyTitle),
      m_indicator(new BusyIndicator(14, this))
{
    setAutoDefault(false);
    setMinimumWidth(minimumWidth);
    setFont(textFont(TextStyle::body, parent ? parent->font() : font()));
    m_indicator->hide();
    m_indicator->setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(shownTitle());
}

void DestructiveButton::setTitle(const QString& title)
{
    m_title = title;
    setAccessibleName(shownTitle());
    updateGeometry();
    update();
}

void DestructiveButton::setBusy(bool busy)
{
    m_busy = busy;
    m_indicator->setVisible(busy);
    setAccessibleName(shownTitle());
    updateGeometry();
    update();
}

QString DestructiveButton::shownTitle() const
{
    return m_busy ? m_busyTitle : m_title;
}

QSize DestructiveButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int width = 20 + 6 + metrics.horizontalAdvance(shownTitle()) + 32;
    return {std::max(width, minimumWidth()), metrics.height() + 16};
}

void DestructiveButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    QColor fill = SystemColors::color(SystemColor::red, scheme);
    if (!isEnabled())
        fill.setAlphaF(0.4f);
    else if (isDown())
        fill = fill.darker(115);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    painter.fillPath(path, fill);
    if (hasFocus()) {
        painter.setPen(QPen(SystemColors::color(SystemColor::accent, scheme), 2));
        painter.drawPath(path);
    }
    const QFontMetrics metrics(font());
    const QString text = shownTitle();
    const int iconEdge = m_busy ? 14 : metrics.height();
    const int total = iconEdge + 6 + metrics.horizontalAdvance(text);
    const int x = (width() - total) / 2;
    const QRect iconRect(x, (height() - iconEdge) / 2, iconEdge, iconEdge);
    if (m_busy)
        m_indicator->setGeometry(iconRect);
    else
        SymbolImage::paint(painter, iconRect, m_symbol, Qt::white,
                           SymbolImage::font(metrics.height() * 3 / 4));
    QColor textColor = Qt::white;
    if (!isEnabled())
        textColor.setAlphaF(0.7f);
    painter.setPen(textColor);
    painter.setFont(font());
    painter.drawText(QRect(iconRect.right() + 1 + 6, 0, width(), height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

} // namespace veldo::ui
