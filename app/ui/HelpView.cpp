#include "app/ui/HelpView.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/ui/FormSection.h"
#include "app/ui/HelpContent.h"
#include "app/ui/HelpSection.h"
#include "app/ui/ScrollPage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/UpdatesSettingsTab.h"
#include "app/ui/VeldoHeroMark.h"
#include "platform/qt/UpdateFeed.h"

namespace veldo::ui {

HelpView::HelpView(QWidget* parent) : HelpView(configuredUpdateHost(), parent)
{
}

HelpView::HelpView(const QString& updateHost, QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Veldo Help"));
    setMinimumSize(620, 560);
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window,
                        SystemColors::color(SystemColor::windowBackground, scheme));
    setPalette(background);

    // The page fills the width; the column inside keeps to 760 points at its left.
    QWidget* page = scrollPage(this, &m_scroll);
    m_scroll->setObjectName(QStringLiteral("scrollArea"));
    auto* pageLayout = new QHBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    m_column = new QWidget(page);
    m_column->setObjectName(QStringLiteral("column"));
    m_column->setMaximumWidth(kMaximumColumnWidth);
    pageLayout->addWidget(m_column, 1);
    pageLayout->addStretch(0);

    auto* column = new QVBoxLayout(m_column);
    column->setContentsMargins(32, 32, 32, 32);
    column->setSpacing(28);

    auto* header = new QHBoxLayout;
    header->setSpacing(18);
    auto* mark = new QLabel(m_column);
    const qreal ratio = devicePixelRatioF();
    QPixmap markImage = QPixmap::fromImage(veldoHeroMark(static_cast<int>(72 * ratio)));
    markImage.setDevicePixelRatio(ratio);
    mark->setPixmap(markImage);
    mark->setFixedSize(72, 72);
    auto* shadow = new QGraphicsDropShadowEffect(mark);
    QColor accent = SystemColors::color(SystemColor::accent, scheme);
    accent.setAlphaF(0.22f);
    shadow->setColor(accent);
    shadow->setBlurRadius(14);
    shadow->setOffset(0, 6);
    mark->setGraphicsEffect(shadow);
    header->addWidget(mark);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    auto* title = new QLabel(QStringLiteral("Veldo Help"), m_column);
    QFont titleFont = textFont(TextStyle::largeTitle, font());
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    titles->addWidget(title);
    titles->addWidget(wrappedSecondary(
        QStringLiteral("Remove apps and everything they leave behind, with Trash and Undo."),
        TextStyle::title3, m_column));
    header->addLayout(titles, 1);
    column->addLayout(header);

    for (HelpSectionContent& content : helpContent(updateHost)) {
        auto* section = new HelpSection(std::move(content.title), std::move(content.systemImage),
                                        std::move(content.rows), m_column);
        column->addWidget(section);
    }
    column->addStretch(1);
    resize(defaultSize());
}

QString HelpView::configuredUpdateHost()
{
    return UpdatesSettingsTab::feedHost(platform::bundleInfo());
}

} // namespace veldo::ui
