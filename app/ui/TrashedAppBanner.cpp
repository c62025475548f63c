// The Trashed-app banner.
#include "app/ui/TrashedAppBanner.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/ElidedLabel.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Inflection.h"
#include "platform/qt/Announcer.h"

namespace veldo::ui {

TrashedAppBanner::TrashedAppBanner(std::function<void()> review, std::function<void()> dismiss,
                                   QWidget* parent)
    : CardFrame(12, 0.15, 12, 4, parent), m_reviewAction(std::move(review)),
      m_dismissAction(std::move(dismiss)), m_symbol(new QLabel(this)), m_prompt(new QLabel(this)),
      m_detail(new ElidedLabel(this)), m_review(new QPushButton(tr("Review"), this)),
      m_notNow(new QToolButton(this))
{
    m_prompt->setObjectName(QStringLiteral("promptLabel"));
    m_detail->setObjectName(QStringLiteral("detailLabel"));
    m_review->setObjectName(QStringLiteral("reviewButton"));
    m_notNow->setObjectName(QStringLiteral("notNowButton"));
    setMaximumWidth(kMaxCardWidth + shadowMargins().left() + shadowMargins().right());
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(shadowMargins() + QMargins(14, 10, 14, 10));
    row->setSpacing(12);
    QFont promptFont = textFont(TextStyle::callout, font());
    promptFont.setWeight(QFont::Medium);
    m_prompt->setFont(promptFont);
    m_prompt->setTextFormat(Qt::PlainText);
    m_prompt->setWordWrap(true);
    m_detail->setFont(textFont(TextStyle::caption, font()));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(m_prompt);
    texts->addWidget(m_detail);
    m_review->setAutoDefault(false);
    m_review->setToolTip(
        tr("Show the files it left behind. Nothing is removed until you confirm."));
    m_notNow->setAutoRaise(true);
    m_notNow->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_notNow->setText(tr("Not Now"));
    m_notNow->setAccessibleName(tr("Not Now"));
    m_notNow->setToolTip(tr("Not now"));
    row->addWidget(m_symbol);
    row->addLayout(texts, 1);
    row->addSpacing(8);
    row->addWidget(m_review);
    row->addWidget(m_notNow);
    connect(m_review, &QPushButton::clicked, this, [this] {
        if (m_reviewAction)
            m_reviewAction();
    });
    connect(m_notNow, &QToolButton::clicked, this, [this] {
        if (m_dismissAction)
            m_dismissAction();
    });
    applyColors();
}

QString TrashedAppBanner::trashedAppPrompt(const controller::TrashedAppNotice& notice)
{
    const QString name = QString::fromStdString(notice.app.name);
    if (notice.hasTrashURL())
        return tr("You moved “") + name + tr("” to the Trash. Remove its leftovers too?");
    return tr("“") + name + tr("” is no longer in Applications. Remove its leftovers too?");
}

QString TrashedAppBanner::detailLine(const controller::TrashedAppNotice& notice, int pendingCount)
{
    QString line = QString::fromStdString(platform::pluralizedCount(notice.itemCount, "item")) +
                   QStringLiteral(" · ") +
                   QString::fromStdString(platform::sizeText(notice.totalBytes)) +
                   QStringLiteral(" left behind");
    if (pendingCount >= 1)
        line += QStringLiteral(" · %1 more app%2 waiting")
                    .arg(pendingCount)
                    .arg(pendingCount == 1 ? QString() : QStringLiteral("s"));
    return line;
}

QSize TrashedAppBanner::sizeHint() const
{
    const int width = maximumWidth();
    return {width, heightForWidth(width)};
}

void TrashedAppBanner::setNotice(controller::TrashedAppNotice notice, int pendingCount)
{
    m_notice = std::move(notice);
    m_hasNotice = true;
    const QString prompt = trashedAppPrompt(m_notice);
    m_prompt->setText(prompt);
    m_detail->setText(detailLine(m_notice, pendingCount));
    setAccessibleDescription(prompt);
    announceIfNew();
}

void TrashedAppBanner::announceIfNew()
{
    if (!m_hasNotice || !isVisible() || m_announcedID == m_notice.id)
        return;
    m_announcedID = m_notice.id;
    platform::qt::Announcer::announce(this, trashedAppPrompt(m_notice));
}

void TrashedAppBanner::showEvent(QShowEvent* event)
{
    CardFrame::showEvent(event);
    announceIfNew();
}

void TrashedAppBanner::hideEvent(QHideEvent* event)
{
    CardFrame::hideEvent(event);
    m_announcedID.reset();
}

void TrashedAppBanner::applyColors()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const int edge = QFontMetrics(textFont(TextStyle::title2, font())).height();
    m_symbol->setPixmap(SymbolImage::icon("trash.circle.fill",
                                          SystemColors::color(SystemColor::accent, scheme), edge)
                            .pixmap(edge, edge));
    m_notNow->setIcon(SymbolImage::icon(
        "xmark.circle.fill", SystemColors::color(SystemColor::secondaryLabel, scheme), 16));
    QPalette detail = m_detail->palette();
    detail.setColor(QPalette::WindowText, SystemColors::color(SystemColor::secondaryLabel, scheme));
    m_detail->setPalette(detail);
    QPalette review = m_review->palette();
    review.setColor(QPalette::Button, SystemColors::color(SystemColor::accent, scheme));
    review.setColor(QPalette::ButtonText, Qt::white);
    m_review->setPalette(review);
}

void TrashedAppBanner::changeEvent(QEvent* event)
{
    CardFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

} // namespace veldo::ui
