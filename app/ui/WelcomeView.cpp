// The welcome screen.
#include "app/ui/WelcomeView.h"

#include <utility>

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ui/BusyIndicator.h"
#include "app/ui/LifetimeStatsView.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/VeldoHeroMark.h"
#include "base/CompilerWarnings.h"

namespace veldo::ui {

namespace {

struct Tip
{
    const char* text;
    const char* symbol;
};

constexpr Tip kTips[] = {
    {"Tip: drag any app onto this window to uninstall it.", "hand.draw.fill"},
    {"⌘-click several apps in the sidebar to clean them up in one pass.",
     "square.stack.3d.up.fill"},
    {"Developer Footprint finds build caches, runtimes and packages.",
     "wrench.and.screwdriver.fill"},
    {"Orphaned Files finds support files of apps that are no longer installed.",
     "questionmark.folder.fill"},
    {"Trash an app in Finder and Veldo offers to remove what it left behind.", "trash.fill"},
};

// The mark's shadow: the accent colour at 22 %, radius 18 (a blur twice as wide), 8 down.
constexpr qreal kHeroShadowOpacity = 0.22;
constexpr qreal kHeroShadowRadius = 18;
constexpr qreal kHeroShadowDrop = 8;

} // namespace

WelcomeView::WelcomeView(controller::UninstallViewModel* model, QWidget* parent)
    : QScrollArea(parent), m_model(model), m_statsSource(model ? model->stats() : nullptr)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* content = new QWidget;
    content->setAutoFillBackground(true);
    content->setBackgroundRole(QPalette::Window);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(40, 40, 40, 40);
    column->setSpacing(18);

    m_hero = new QLabel(content);
    m_hero->setAlignment(Qt::AlignCenter);
    m_hero->setAccessibleName(QStringLiteral("Veldo"));
    QPixmap mark = QPixmap::fromImage(veldoHeroMark(224));
    mark.setDevicePixelRatio(2.0);
    m_hero->setPixmap(mark);
    // The accent shadow below the mark; its colour follows the scheme (applyColors).
    auto* glow = new QGraphicsDropShadowEffect(m_hero);
    glow->setBlurRadius(2 * kHeroShadowRadius);
    glow->setOffset(0, kHeroShadowDrop);
    m_hero->setGraphicsEffect(glow);
    column->addWidget(m_hero);

    auto* title = new QLabel(tr("Clean Uninstalls"), content);
    QFont titleFont = textFont(TextStyle::largeTitle, font());
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);

    m_description = new QLabel(tr("Select any app to see the caches, preferences, containers, "
                                  "login items, and other files it left behind — then remove it "
                                  "completely."),
                               content);
    m_description->setWordWrap(true);
    m_description->setAlignment(Qt::AlignCenter);
    column->addWidget(m_description);

    m_stats = new LifetimeStatsView(m_statsSource, content);
    m_stats->setObjectName(QStringLiteral("statistics"));
    m_stats->setMaximumWidth(560);
    column->addWidget(m_stats, 0, Qt::AlignHCenter);
    m_stats->setMinimumWidth(qMin(560, 420));

    m_tips = new QWidget(content);
    auto* tips = new QVBoxLayout(m_tips);
    tips->setContentsMargins(0, 2, 0, 0);
    tips->setSpacing(6);
    for (const Tip& tip : kTips) {
        auto* line = new QWidget(m_tips);
        auto* row = new QHBoxLayout(line);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        auto* symbol = new QLabel(line);
        symbol->setObjectName(QString::fromLatin1(tip.symbol));
        auto* text = new QLabel(tr(tip.text), line);
        text->setFont(textFont(TextStyle::callout, font()));
        row->addWidget(symbol, 0, Qt::AlignVCenter);
        row->addWidget(text, 1);
        tips->addWidget(line);
    }
    column->addWidget(m_tips, 0, Qt::AlignHCenter);

    m_scanning = new QWidget(content);
    m_scanning->setObjectName(QStringLiteral("scanningLine"));
    auto* scanning = new QHBoxLayout(m_scanning);
    scanning->setContentsMargins(0, 8, 0, 0);
    scanning->setSpacing(6);
    scanning->addWidget(new BusyIndicator(12, m_scanning));
    scanning->addWidget(new QLabel(tr("Scanning applications…"), m_scanning));
    column->addWidget(m_scanning, 0, Qt::AlignHCenter);
    column->addStretch(1);
    setWidget(content);

    if (m_model)
        connect(m_model, &controller::UninstallViewModel::isScanningAppsChanged, this,
                &WelcomeView::refresh);
    if (m_statsSource)
        m_observer = m_statsSource->addObserver([this](core::CleanupStats::Counter) {
            if (std::exchange(m_refreshQueued, true))
                return;
            QTimer::singleShot(0, this, [this] {
                m_refreshQueued = false;
                refresh();
            });
        });
    applyColors();
    refresh();
}

WelcomeView::~WelcomeView()
{
    if (m_statsSource)
        m_statsSource->removeObserver(m_observer);
}

void WelcomeView::refresh()
{
    m_stats->setHidden(!m_statsSource || m_statsSource->totalItemsRemoved() < 1);
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    m_scanning->setHidden(!m_model || !m_model->isScanningApps());
    VELDO_GCC12_IGNORE_END
}

void WelcomeView::applyColors()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    QColor glow = SystemColors::color(SystemColor::accent, scheme);
    glow.setAlphaF(kHeroShadowOpacity);
    static_cast<QGraphicsDropShadowEffect*>(m_hero->graphicsEffect())->setColor(glow);
    const QColor secondary = SystemColors::color(SystemColor::secondaryLabel, scheme);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, secondary);
    m_description->setPalette(p);
    m_tips->setPalette(p);
    const int edge = QFontMetrics(textFont(TextStyle::callout, font())).height();
    for (QLabel* symbol : m_tips->findChildren<QLabel*>()) {
        if (symbol->objectName().isEmpty())
            continue;
        symbol->setPixmap(SymbolImage::icon(symbol->objectName().toStdString(), secondary, edge)
                              .pixmap(edge, edge));
    }
}

void WelcomeView::changeEvent(QEvent* event)
{
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

} // namespace veldo::ui
