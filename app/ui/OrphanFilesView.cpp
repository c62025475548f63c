// The Orphaned Files screen.
#include "app/ui/OrphanFilesView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "app/controller/UninstallViewModel.h"
#include "app/core/CleanupSettings.h"
#include "app/core/PathDisplay.h"
#include "app/ui/CheckListView.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/OrphanListModel.h"
#include "app/ui/OrphanReviewSheet.h"
#include "app/ui/OrphanRowDelegate.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/ToolScreenParts.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Home.h"
#include "platform/Inflection.h"

namespace veldo::ui {
namespace {

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

// A row aligned to the top, spacing 10, padded 12, on orange at 8 % (radius 12).
class OrangeCard final : public QWidget
{
public:
    explicit OrangeCard(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill =
            SystemColors::color(SystemColor::orange, SystemColors::colorScheme(palette()));
        fill.setAlphaF(0.08f);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 12, 12);
        painter.fillPath(path, fill);
    }
};

QLabel* symbolLabel(const char* symbol, SystemColor tint, TextStyle style, QWidget* parent)
{
    const int edge = QFontMetrics(textFont(style, parent->font())).height();
    auto* label = new QLabel(parent);
    label->setPixmap(
        SymbolImage::icon(
            symbol, SystemColors::color(tint, SystemColors::colorScheme(parent->palette())), edge)
            .pixmap(edge, edge));
    label->setFixedSize(edge, edge);
    return label;
}

QLabel* textLabel(const QString& text, TextStyle style, bool secondary, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(textFont(style, parent->font()));
    if (secondary) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText,
                   SystemColors::color(SystemColor::secondaryLabel,
                                       SystemColors::colorScheme(parent->palette())));
        label->setPalette(p);
    }
    return label;
}

// A labelled line: the symbol before wrapped callout text.
QWidget* labelledLine(const char* symbol, const QString& text, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(symbolLabel(symbol, SystemColor::accent, TextStyle::callout, row), 0,
                      Qt::AlignTop);
    layout->addWidget(textLabel(text, TextStyle::callout, false, row), 1);
    return row;
}

} // namespace

QString OrphanFilesView::foundText(std::int64_t items)
{
    return qs(platform::inflect("^[" + std::to_string(items) + " item](inflect: true) found"));
}

QString OrphanFilesView::selectionSummary(std::int64_t selected, std::int64_t bytes)
{
    return QStringLiteral("%1 selected · %2").arg(selected).arg(qs(platform::sizeText(bytes)));
}

QString OrphanFilesView::unreadableText(std::int64_t locations)
{
    return qs(platform::pluralizedCount(locations, "location")) +
           QStringLiteral(" couldn’t be read, so the list may be incomplete.");
}

QString OrphanFilesView::nothingFoundDescription(bool someUnreadable)
{
    return someUnreadable
               ? QStringLiteral("Nothing found in the folders Veldo could read. Some locations "
                                "need Full Disk Access.")
               : QStringLiteral("Every support file Veldo checked belongs to an installed app.");
}

OrphanFilesView::OrphanFilesView(controller::UninstallViewModel* model, QThreadPool* probePool,
                                 Probe probe, QWidget* parent)
    : QWidget(parent), m_model(model), m_probePool(probePool), m_probe(std::move(probe))
{
    if (!m_probe)
        m_probe = [] {
            return core::SystemSettings::fullDiskAccessStatus(platform::homeDirectory());
        };
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildHeader();
    column->addWidget(m_totals->parentWidget());
    column->addWidget(screenDivider(this));
    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("contentPages"));
    m_scanningPage =
        scanningPlaceholder(QStringLiteral("Looking for files no installed app claims…"), m_stack);
    m_scanningPage->setObjectName(QStringLiteral("scanningPage"));
    m_stack->addWidget(m_scanningPage);
    buildNotScanned();
    m_nothingFound = new EmptyStateView("checkmark.seal.fill", QStringLiteral("No Orphaned Files"),
                                        nothingFoundDescription(false), m_stack);
    m_nothingFound->setObjectName(QStringLiteral("nothingFoundView"));
    m_stack->addWidget(m_nothingFound);
    buildList();
    column->addWidget(m_stack, 1);
    buildFooter();
    column->addWidget(m_footerBox);

    connect(&m_probeWatcher, &QFutureWatcher<FullDiskAccessStatus>::finished, this, [this] {
        m_fullDiskAccess = m_probeWatcher.result();
        refresh();
    });
    using VM = controller::UninstallViewModel;
    for (auto signal :
         {&VM::orphanResultChanged, &VM::isScanningOrphansChanged, &VM::hasScannedOrphansChanged,
          &VM::selectedOrphanIDsChanged, &VM::isRemovingChanged, &VM::appsChanged})
        connect(m_model, signal, this, &OrphanFilesView::refresh);
    refresh();
}

OrphanFilesView::~OrphanFilesView()
{
    // The watcher goes with the screen; a probe still running finishes on its pool unheard.
    m_probeWatcher.disconnect();
}

void OrphanFilesView::buildHeader()
{
    const ScreenHeader header =
        screenHeader("questionmark.folder.fill", SystemColor::orange, SystemColor::pink,
                     QStringLiteral("Orphaned Files"),
                     QStringLiteral("Support files from apps that are no longer installed."), this);
    QHBoxLayout* row = header.row;
    m_totals = header.totals;
    m_total = header.total;
    m_total->setObjectName(QStringLiteral("totalLabel"));
    m_count = header.caption;
    m_count->setObjectName(QStringLiteral("countLabel"));
    m_rescan = headerIconButton("arrow.clockwise", QStringLiteral("Rescan"),
                                QStringLiteral("Rescan (⌘R)"), header.widget);
    m_rescan->setObjectName(QStringLiteral("rescanButton"));
    row->addWidget(m_rescan);
    connect(m_rescan, &QToolButton::clicked, this, [this] { m_model->scanOrphans().detach(); });
}

void OrphanFilesView::buildNotScanned()
{
    auto* scroll = new QScrollArea(m_stack);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* page = new QWidget(scroll);
    auto* outer = new QHBoxLayout(page);
    outer->setContentsMargins(24, 24, 24, 24);
    auto* content = new QWidget(page);
    content->setMaximumWidth(620);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    column->addWidget(textLabel(
        QStringLiteral("Apps dragged to the Trash, or removed by their own uninstallers, often "
                       "leave preferences, caches and support folders behind. Veldo looks in your "
                       "Library folders and /Library for items named after an app’s bundle "
                       "identifier when no installed app, running process or loaded background "
                       "job uses that identifier."),
        TextStyle::body, true, content));
    auto* lines = new QVBoxLayout;
    lines->setSpacing(8);
    lines->addWidget(
        labelledLine("checkmark.shield.fill",
                     QStringLiteral("Nothing is removed until you review and confirm."), content));
    lines->addWidget(labelledLine(
        "questionmark.circle.fill",
        QStringLiteral("Only medium-confidence items are selected for you; low-confidence items "
                       "need a second look."),
        content));
    lines->addWidget(labelledLine("arrow.uturn.backward.circle.fill",
                                  QStringLiteral("Removed items go to the Trash, and Undo puts "
                                                 "them back."),
                                  content));
    column->addLayout(lines);

    m_fdaCard = new OrangeCard(content);
    m_fdaCard->setObjectName(QStringLiteral("fullDiskAccessCard"));
    auto* card = new QHBoxLayout(m_fdaCard);
    card->setContentsMargins(12, 12, 12, 12);
    card->setSpacing(10);
    card->addWidget(symbolLabel("lock.fill", SystemColor::orange, TextStyle::callout, m_fdaCard), 0,
                    Qt::AlignTop);
    auto* cardText = new QVBoxLayout;
    cardText->setSpacing(4);
    cardText->addWidget(textLabel(
        QStringLiteral("Without Full Disk Access some folders can’t be read, and macOS may ask "
                       "whether Veldo may access data from other apps while it measures leftover "
                       "containers."),
        TextStyle::callout, false, m_fdaCard));
    m_fdaLink = linkButton(QStringLiteral("Open Full Disk Access Settings…"), m_fdaCard);
    m_fdaLink->setObjectName(QStringLiteral("fullDiskAccessLink"));
    cardText->addWidget(m_fdaLink, 0, Qt::AlignLeft);
    card->addLayout(cardText, 1);
    column->addWidget(m_fdaCard);
    connect(m_fdaLink, &QPushButton::clicked, this,
            [] { core::SystemSettings::open(core::SystemSettings::kFullDiskAccessURL); });

    m_scanButton = new QPushButton(SymbolImage::icon("magnifyingglass", Qt::white, 18),
                                   QStringLiteral("Scan for Orphaned Files"), content);
    m_scanButton->setObjectName(QStringLiteral("scanButton"));
    makeProminent(m_scanButton);
    m_scanButton->setMinimumWidth(200);
    m_scanButton->setMinimumHeight(32);
    m_scanButton->setDefault(false);
    m_scanButton->setAutoDefault(false);
    column->addSpacing(4);
    column->addWidget(m_scanButton, 0, Qt::AlignLeft);
    column->addStretch(1);
    connect(m_scanButton, &QPushButton::clicked, this, [this] { m_model->scanOrphans().detach(); });

    outer->addStretch(0);
    outer->addWidget(content, 1, Qt::AlignTop);
    outer->addStretch(0);
    scroll->setWidget(page);
    m_notScannedPage = scroll;
    m_notScannedPage->setObjectName(QStringLiteral("notScannedPage"));
    m_stack->addWidget(scroll);
}

void OrphanFilesView::buildList()
{
    m_listPage = new QWidget(m_stack);
    m_listPage->setObjectName(QStringLiteral("listPage"));
    auto* column = new QVBoxLayout(m_listPage);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* note = new OrangeCard(m_listPage);
    auto* noteRow = new QHBoxLayout(note);
    noteRow->setContentsMargins(12, 12, 12, 12);
    noteRow->setSpacing(10);
    noteRow->addWidget(symbolLabel("exclamationmark.triangle.fill", SystemColor::orange,
                                   TextStyle::headline, note),
                       0, Qt::AlignTop);
    auto* noteText = new QVBoxLayout;
    noteText->setSpacing(2);
    noteText->addWidget(textLabel(QStringLiteral("These files don’t match any installed app"),
                                  TextStyle::headline, false, note));
    noteText->addWidget(textLabel(
        QStringLiteral("Veldo inferred which app each item came from by its name. An app on "
                       "another disk, or one you run from an unusual folder, may still use them. "
                       "Review before removing."),
        TextStyle::caption, true, note));
    m_unreadable = textLabel(QString(), TextStyle::caption, true, note);
    m_unreadable->setObjectName(QStringLiteral("unreadableLabel"));
    noteText->addWidget(m_unreadable);
    noteRow->addLayout(noteText, 1);
    auto* noteBox = new QWidget(m_listPage);
    auto* noteMargins = new QVBoxLayout(noteBox);
    noteMargins->setContentsMargins(20, 20, 20, 14);
    noteMargins->addWidget(note);
    column->addWidget(noteBox);

    m_listModel = new OrphanListModel(m_model, this);
    m_listModel->setObjectName(QStringLiteral("listModel"));
    m_list = new CheckListView(m_listModel, m_listPage);
    m_list->setObjectName(QStringLiteral("list"));
    m_delegate = new OrphanRowDelegate(m_list);
    m_delegate->setObjectName(QStringLiteral("delegate"));
    m_list->setCheckListDelegate(m_delegate);
    column->addWidget(m_list, 1);
    m_stack->addWidget(m_listPage);
}

void OrphanFilesView::buildFooter()
{
    m_footerBox = bottomBarBox(this);
    m_footerBox->setObjectName(QStringLiteral("footer"));
    m_footer = new ActionBar(m_footerBox);
    m_footerBox->layout()->addWidget(m_footer);
    m_deselectAll = linkButton(QStringLiteral("Deselect All"), m_footer);
    m_deselectAll->setObjectName(QStringLiteral("deselectAllButton"));
    m_selectSuggested = linkButton(QStringLiteral("Select Suggested"), m_footer);
    m_selectSuggested->setObjectName(QStringLiteral("selectSuggestedButton"));
    m_selectSuggested->setToolTip(QStringLiteral("Select only the medium-confidence items"));
    m_summary = secondaryLabel(TextStyle::callout, m_footer);
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_review = new DestructiveButton("trash.fill", QStringLiteral("Review & Move to Trash"),
                                     QStringLiteral("Removing…"), 170, m_footer);
    m_review->setObjectName(QStringLiteral("reviewButton"));
    m_review->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace));
    m_footer->arrange({m_deselectAll, m_selectSuggested, m_summary}, m_review);
    connect(m_deselectAll, &QPushButton::clicked, this,
            [this] { m_model->setSelectedOrphanIDs({}); });
    connect(m_selectSuggested, &QPushButton::clicked, this, [this] {
        m_model->setSelectedOrphanIDs(controller::UninstallViewModel::suggestedOrphanPaths(
            m_model->orphanResult().groups, m_model->settings()->includeAdminRequiredByDefault()));
    });
    connect(m_review, &QPushButton::clicked, this, &OrphanFilesView::openReview);
}

OrphanFilesView::Content OrphanFilesView::content() const
{
    if (m_model->isScanningOrphans())
        return Content::scanning;
    if (!m_model->hasScannedOrphans())
        return Content::notScanned;
    if (m_model->orphanResult().groups.empty())
        return Content::nothingFound;
    return Content::list;
}

void OrphanFilesView::refreshNothingFound()
{
    const bool unreadable = !m_model->orphanResult().unreadableLocations.empty();
    if (unreadable == m_nothingFoundUnreadable)
        return;
    auto* replacement =
        new EmptyStateView("checkmark.seal.fill", QStringLiteral("No Orphaned Files"),
                           nothingFoundDescription(unreadable), m_stack);
    const int at = m_stack->indexOf(m_nothingFound);
    m_stack->insertWidget(at, replacement);
    m_stack->removeWidget(m_nothingFound);
    delete m_nothingFound;
    m_nothingFound = replacement;
    m_nothingFound->setObjectName(QStringLiteral("nothingFoundView"));
    m_nothingFoundUnreadable = unreadable;
}

void OrphanFilesView::refresh()
{
    const bool scanned = m_model->hasScannedOrphans();
    const auto& result = m_model->orphanResult();
    m_totals->setVisible(scanned);
    m_rescan->setVisible(scanned);
    m_total->setText(qs(platform::sizeText(m_listModel->totalBytes())));
    m_count->setText(foundText(m_listModel->itemCount()));
    m_rescan->setEnabled(!m_model->isScanningOrphans() && !m_model->isRemoving());

    m_fdaCard->setVisible(m_fullDiskAccess != FullDiskAccessStatus::granted);
    refreshNothingFound();
    m_unreadable->setVisible(!result.unreadableLocations.empty());
    m_unreadable->setText(
        unreadableText(static_cast<std::int64_t>(result.unreadableLocations.size())));
    QStringList unreadablePaths;
    const std::string home = platform::homeDirectory().path();
    for (const platform::MacPath& path : result.unreadableLocations)
        unreadablePaths << qs(core::abbreviatedPath(path.path(), home));
    m_unreadable->setToolTip(unreadablePaths.join(QLatin1Char('\n')));

    switch (content()) {
    case Content::scanning:
        m_stack->setCurrentWidget(m_scanningPage);
        break;
    case Content::notScanned:
        m_stack->setCurrentWidget(m_notScannedPage);
        break;
    case Content::nothingFound:
        m_stack->setCurrentWidget(m_nothingFound);
        break;
    case Content::list:
        m_stack->setCurrentWidget(m_listPage);
        break;
    }

    m_footerBox->setVisible(scanned && !result.groups.empty());
    const std::vector<core::LeftoverItem> selected = m_model->selectedOrphans();
    m_deselectAll->setEnabled(!m_model->selectedOrphanIDs().empty());
    m_summary->setText(selectionSummary(static_cast<std::int64_t>(selected.size()),
                                        m_model->selectedOrphanBytes()));
    m_review->setBusy(m_model->isRemoving());
    m_review->setEnabled(!selected.empty() && !m_model->isRemoving() &&
                         !m_model->isScanningOrphans());
}

void OrphanFilesView::openReview()
{
    if (m_sheet || !m_review->isEnabled())
        return;
    m_sheet = new OrphanReviewSheet(
        m_model, [this] { closeReview(); }, [model = m_model] { model->removeOrphans().detach(); },
        this);
    m_sheet->setObjectName(QStringLiteral("reviewSheet"));
    m_sheet->open();
}

void OrphanFilesView::closeReview()
{
    if (!m_sheet)
        return;
    OrphanReviewSheet* sheet = m_sheet;
    m_sheet = nullptr;
    sheet->hide();
    sheet->deleteLater();
}

void OrphanFilesView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    startProbe();
}

void OrphanFilesView::startProbe()
{
    m_probeWatcher.setFuture(QtConcurrent::run(m_probePool, m_probe));
}

} // namespace veldo::ui
