// The lifetime statistics strip.
#include "app/ui/LifetimeStatsView.h"

#include <utility>

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui {

namespace {

constexpr const char* kSymbols[3] = {"internaldrive", "trash", "app.badge.checkmark"};

} // namespace

LifetimeStatsView::LifetimeStatsView(std::shared_ptr<core::CleanupStats> stats, QWidget* parent)
    : QWidget(parent), m_stats(std::move(stats))
{
    const QString captions[3] = {tr("Cleaned Up"), tr("Items Removed"), tr("Apps Cleaned")};
    const QString names[3] = {QStringLiteral("spaceValue"), QStringLiteral("itemsValue"),
                              QStringLiteral("appsValue")};
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 14, 0, 14);
    row->setSpacing(0);
    QFont valueFont = textFont(TextStyle::title3, font());
    valueFont.setWeight(QFont::Bold);
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            auto* divider = new QFrame(this);
            divider->setObjectName(QStringLiteral("divider"));
            divider->setFixedSize(1, 34);
            divider->setAutoFillBackground(true);
            row->addWidget(divider);
        }
        auto* cell = new QWidget(this);
        auto* column = new QVBoxLayout(cell);
        column->setContentsMargins(4, 0, 4, 0);
        column->setSpacing(3);
        m_symbols[i] = new QLabel(cell);
        m_values[i] = new QLabel(cell);
        m_values[i]->setObjectName(names[i]);
        m_captions[i] = new QLabel(captions[i], cell);
        m_values[i]->setFont(valueFont);
        m_captions[i]->setFont(textFont(TextStyle::caption, font()));
        for (QLabel* label : {m_symbols[i], m_values[i], m_captions[i]}) {
            label->setAlignment(Qt::AlignCenter);
            column->addWidget(label);
        }
        row->addWidget(cell, 1);
    }
    m_symbols[0]->parentWidget()->setToolTip(tr("Moved to the Trash or uninstalled. Trashed files "
                                                "free their space once you empty the Trash."));
    applyColors();
    refresh();
    if (m_stats)
        m_observer = m_stats->addObserver([this](core::CleanupStats::Counter) {
            if (std::exchange(m_refreshQueued, true))
                return;
            QTimer::singleShot(0, this, [this] {
                m_refreshQueued = false;
                refresh();
            });
        });
}

LifetimeStatsView::~LifetimeStatsView()
{
    if (m_stats)
        m_stats->removeObserver(m_observer);
}

void LifetimeStatsView::refresh()
{
    const std::int64_t bytes = m_stats ? m_stats->totalBytesReclaimed() : 0;
    m_values[0]->setText(QString::fromStdString(platform::sizeText(bytes)));
    m_values[1]->setText(QString::number(m_stats ? m_stats->totalItemsRemoved() : 0));
    m_values[2]->setText(QString::number(m_stats ? m_stats->totalAppsCleaned() : 0));
}

void LifetimeStatsView::applyColors()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const QColor accent = SystemColors::color(SystemColor::accent, scheme);
    const int edge = QFontMetrics(textFont(TextStyle::callout, font())).height() + 4;
    for (QFrame* divider : findChildren<QFrame*>(QStringLiteral("divider"))) {
        QPalette p = divider->palette();
        p.setColor(QPalette::Window, SystemColors::color(SystemColor::separator, scheme));
        divider->setPalette(p);
    }
    for (int i = 0; i < 3; ++i) {
        m_symbols[i]->setPixmap(SymbolImage::icon(kSymbols[i], accent, edge).pixmap(edge, edge));
        QPalette p = m_captions[i]->palette();
        p.setColor(QPalette::WindowText, SystemColors::color(SystemColor::secondaryLabel, scheme));
        m_captions[i]->setPalette(p);
    }
}

void LifetimeStatsView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

void LifetimeStatsView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    QColor material = SystemColors::color(SystemColor::material, scheme);
    material.setAlpha(255);
    painter.setBrush(material);
    painter.setPen(QPen(SystemColors::color(SystemColor::separator, scheme), 0.5));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 16, 16);
}

} // namespace veldo::ui
