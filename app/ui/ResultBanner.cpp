// The result banner.
#include "app/ui/ResultBanner.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/ui/BusyIndicator.h"
#include "app/ui/ElidedLabel.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

namespace {

QPushButton* button(const QString& text, const QString& help, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setToolTip(help);
    b->setAutoDefault(false);
    return b;
}

} // namespace

ResultBanner::ResultBanner(QWidget* parent)
    : CardFrame(14, 0.2, 16, 6, parent), m_symbol(new QLabel(this)), m_title(new ElidedLabel(this)),
      m_summary(new QLabel(this)),
      m_openSettings(button(tr("Open Settings"),
                            tr("Turn on Veldo under Privacy & Security › App Management, then quit "
                               "and reopen Veldo."),
                            this)),
      m_reveal(button(tr("Reveal in Finder"),
                      tr("Open these system files in Finder, then move them to the Trash to "
                         "authenticate with your password."),
                      this)),
      m_undo(button(tr("Undo"), QString(), this)), m_spinner(new BusyIndicator(14, m_undo)),
      m_done(button(tr("Done"), tr("Dismiss (Esc). Undo stays available in the Edit menu."), this))
{
    m_title->setObjectName(QStringLiteral("titleLabel"));
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_openSettings->setObjectName(QStringLiteral("openSettingsButton"));
    m_reveal->setObjectName(QStringLiteral("revealButton"));
    m_undo->setObjectName(QStringLiteral("undoButton"));
    m_done->setObjectName(QStringLiteral("doneButton"));
    m_spinner->setObjectName(QStringLiteral("undoSpinner"));
    setAccessibleName(tr("Result"));
    setMaximumWidth(kMaxCardWidth + shadowMargins().left() + shadowMargins().right());

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(shadowMargins() + QMargins(16, 12, 16, 12));
    row->setSpacing(12);
    m_symbol->setAlignment(Qt::AlignCenter);
    row->addWidget(m_symbol);

    m_column = new QVBoxLayout;
    m_column->setSpacing(1);
    QFont titleFont = font();
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_summary->setFont(textFont(TextStyle::caption, font()));
    m_summary->setForegroundRole(QPalette::PlaceholderText);
    m_summary->setWordWrap(true);
    m_summary->setTextFormat(Qt::PlainText);
    m_column->addStretch(1);
    m_column->addWidget(m_title);
    m_column->addWidget(m_summary);
    m_column->addStretch(1);
    row->addLayout(m_column, 1);
    row->addSpacing(16);

    m_done->setDefault(true);
    for (QPushButton* b : {m_openSettings, m_reveal, m_undo, m_done})
        row->addWidget(b);
    auto* undoLayout = new QHBoxLayout(m_undo);
    undoLayout->setContentsMargins(0, 0, 0, 0);
    undoLayout->addWidget(m_spinner, 0, Qt::AlignCenter);
    m_spinner->hide();

    connect(m_openSettings, &QPushButton::clicked, this, &ResultBanner::openAppManagementRequested);
    connect(m_reveal, &QPushButton::clicked, this, &ResultBanner::revealFailedRequested);
    connect(m_undo, &QPushButton::clicked, this, &ResultBanner::undoRequested);
    connect(m_done, &QPushButton::clicked, this, &ResultBanner::dismissRequested);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, m_done, &QPushButton::click);

    refresh();
}

QSize ResultBanner::sizeHint() const
{
    QSize size = CardFrame::sizeHint();
    // The summary would rather stay on one line: widen up to the card's width before wrapping.
    const int others = size.width() - m_summary->sizeHint().width();
    const int unwrapped = m_summary->fontMetrics().horizontalAdvance(m_summary->text()) + 2;
    size.setWidth(qMin(others + qMax(unwrapped, m_summary->sizeHint().width()), maximumWidth()));
    return size;
}

void ResultBanner::resizeEvent(QResizeEvent* event)
{
    CardFrame::resizeEvent(event);
    fitSummaryHeight();
}

// A wrapped label gets the height its width needs; the card grows with it.
void ResultBanner::fitSummaryHeight()
{
    const int needed = m_summary->heightForWidth(m_summary->width());
    if (needed > 0 && needed != m_summary->minimumHeight()) {
        m_summary->setMinimumHeight(needed);
        updateGeometry();
    }
}

void ResultBanner::setOutcome(const removal::UninstallOutcome& outcome)
{
    m_content = ResultBannerContent::of(outcome);
    refresh();
    setAnnouncement(m_content.announcement());
}

void ResultBanner::setUndoing(bool undoing)
{
    if (m_undoing == undoing)
        return;
    m_undoing = undoing;
    refresh();
}

void ResultBanner::setUndoAvailable(bool available)
{
    if (m_undoAvailable == available)
        return;
    m_undoAvailable = available;
    refresh();
}

void ResultBanner::refresh()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const QColor tint = SystemColors::color(m_content.tint, scheme);
    const int edge = QFontMetrics(textFont(TextStyle::title2, font())).height();
    m_symbol->setPixmap(SymbolImage::icon(m_content.symbol, tint, edge).pixmap(edge, edge));
    m_symbol->setFixedSize(edge, edge);
    m_title->setText(m_content.title);
    m_summary->setText(m_content.summary);
    // A hidden card's layouts keep the sizes of the texts they last laid out; the card is sized
    // from them before it shows, so they must forget those first (the row does not clear the
    // column's sizes by itself).
    m_column->invalidate();
    layout()->invalidate();
    if (isVisible())
        fitSummaryHeight();

    const QColor buttonText = palette().color(QPalette::ButtonText);
    m_openSettings->setIcon(SymbolImage::icon("arrow.up.forward.app", buttonText, 14));
    m_reveal->setIcon(SymbolImage::icon("arrow.up.forward.app", buttonText, 14));
    m_openSettings->setVisible(m_content.showsOpenSettings);
    m_reveal->setVisible(m_content.showsRevealInFinder);
    m_undo->setVisible(m_content.showsUndo);
    m_undo->setToolTip(m_content.undoHelp);
    m_undo->setEnabled(m_undoAvailable && !m_undoing);
    if (m_undoing) {
        m_undo->setMinimumWidth(m_undo->sizeHint().width());
        m_undo->setText(QString());
        m_undo->setIcon(QIcon());
        m_undo->setAccessibleName(tr("Undo"));
        m_spinner->show();
    } else {
        m_spinner->hide();
        m_undo->setText(tr("Undo"));
        m_undo->setIcon(SymbolImage::icon("arrow.uturn.backward", buttonText, 14));
    }
}

void ResultBanner::changeEvent(QEvent* event)
{
    CardFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refresh();
}

} // namespace veldo::ui
