// ContentView: the main window's split view, banners, drop target and start-up.
#include "app/ui/ContentView.h"

#include <algorithm>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLayout>
#include <QMimeData>
#include <QSplitter>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppShell.h"
#include "app/ui/DetailPane.h"
#include "app/ui/DropOverlay.h"
#include "app/ui/NoticeBanner.h"
#include "app/ui/ResultBanner.h"
#include "app/ui/ResultBannerContent.h"
#include "app/ui/SpringAnimation.h"
#include "app/ui/TrashedAppBanner.h"
#include "platform/MacRoot.h"

namespace veldo::ui {

namespace {

constexpr const char* kNotAnApplication = "That item isn't a macOS application.";

} // namespace

ContentView::ContentView(AppShell& shell, QWidget* parent) : QWidget(parent), m_shell(shell)
{
    controller::UninstallViewModel& model = shell.model();
    setAcceptDrops(true);
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setChildrenCollapsible(false);
    if (shell.content().sidebar) {
        m_sidebar = shell.content().sidebar(model, m_splitter);
        m_sidebar->setObjectName(QStringLiteral("sidebar"));
        m_sidebar->setMinimumWidth(kSidebarMinimumWidth);
        m_sidebar->setMaximumWidth(kSidebarMaximumWidth);
        m_splitter->addWidget(m_sidebar);
    }
    m_detail = new DetailPane(model, shell.content(), m_splitter);
    m_detail->setObjectName(QStringLiteral("detailPane"));
    m_splitter->addWidget(m_detail);
    if (m_sidebar) {
        m_splitter->setStretchFactor(0, 0);
        m_splitter->setStretchFactor(1, 1);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    m_dropOverlay = new DropOverlay(this);
    m_dropOverlay->setObjectName(QStringLiteral("dropOverlay"));
    m_dropOverlay->hide();

    m_notice = new NoticeBanner(this);
    m_notice->setObjectName(QStringLiteral("noticeBanner"));
    m_notice->hide();
    connect(m_notice, &NoticeBanner::dismissRequested, this,
            [&model] { model.setDropNotice(std::nullopt); });
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setObjectName(QStringLiteral("noticeTimer"));
    m_noticeTimer->setSingleShot(true);
    m_noticeTimer->setTimerType(Qt::PreciseTimer);
    m_noticeTimer->setInterval(shell.noticeDuration());
    connect(m_noticeTimer, &QTimer::timeout, this, [&model] { model.setDropNotice(std::nullopt); });

    m_trashBanner = new TrashedAppBanner(
        [this] {
            WindowOperations::run(m_shell.operations().reviewTrashedApp, m_trashBanner->notice());
        },
        [this] {
            WindowOperations::run(m_shell.operations().dismissTrashNotice, m_trashBanner->notice());
        },
        this);
    m_trashBanner->setObjectName(QStringLiteral("trashedAppBanner"));
    m_trashBanner->hide();

    m_result = new ResultBanner(this);
    m_result->setObjectName(QStringLiteral("resultBanner"));
    m_result->hide();
    connect(m_result, &ResultBanner::undoRequested, this,
            [this] { WindowOperations::run(m_shell.operations().undoLastRemoval); });
    connect(m_result, &ResultBanner::revealFailedRequested, this, [&model] {
        // Every failed item but those the policy refused, which are never offered for removal
        // by hand.
        std::vector<platform::MacPath> urls;
        if (model.lastOutcome())
            for (const core::LeftoverItem& item :
                 ResultBannerContent::revealable(*model.lastOutcome()))
                urls.push_back(item.url);
        if (!urls.empty())
            model.services().reveal(urls);
    });
    connect(m_result, &ResultBanner::openAppManagementRequested, this,
            [] { openAppManagementSettings(); });
    connect(m_result, &ResultBanner::dismissRequested, this,
            [&model] { model.setShowResultBanner(false); });

    using VM = controller::UninstallViewModel;
    connect(&model, &VM::dropNoticeChanged, this, &ContentView::syncNotice);
    connect(&model, &VM::trashNoticesChanged, this, &ContentView::syncTrashNotices);
    for (auto signal : {&VM::showResultBannerChanged, &VM::lastOutcomeChanged,
                        &VM::isUndoingChanged, &VM::isRemovingChanged})
        connect(&model, signal, this, &ContentView::syncResultBanner);
    syncNotice();
    syncTrashNotices();
    syncResultBanner();
}

std::vector<platform::MacPath> ContentView::droppedMacPaths(const QMimeData& data)
{
    std::vector<platform::MacPath> paths;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile())
            continue;
        const QByteArray host = url.toLocalFile().toUtf8();
        if (std::optional<platform::MacPath> path =
                platform::macPathForHost(std::string_view(host.constData(), host.size())))
            paths.push_back(std::move(*path));
    }
    return paths;
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    layoutOverlays();
    if (!m_appeared) {
        m_appeared = true;
        if (m_sidebar)
            m_splitter->setSizes(
                {kSidebarIdealWidth, std::max(0, m_splitter->width() - kSidebarIdealWidth -
                                                     m_splitter->handleWidth())});
        firstAppearance();
    }
}

void ContentView::firstAppearance()
{
    const WindowOperations& operations = m_shell.operations();
    WindowOperations::run(operations.startLibraryWatcher);
    const controller::UninstallViewModel& model = m_shell.model();
    if (model.apps().empty() && !model.isScanningApps())
        WindowOperations::run(operations.scanApps);
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutOverlays();
}

namespace {

bool carriesFiles(const QMimeData& data)
{
    const QList<QUrl> urls = data.urls();
    return std::ranges::any_of(urls, [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

void ContentView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!carriesFiles(*event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropTargeted(true);
}

void ContentView::dragMoveEvent(QDragMoveEvent* event)
{
    if (carriesFiles(*event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ContentView::dragLeaveEvent(QDragLeaveEvent* event)
{
    QWidget::dragLeaveEvent(event);
    setDropTargeted(false);
}

void ContentView::dropEvent(QDropEvent* event)
{
    setDropTargeted(false);
    const bool carriedFiles = carriesFiles(*event->mimeData());
    std::vector<platform::MacPath> paths = droppedMacPaths(*event->mimeData());
    const bool hasApp = std::ranges::any_of(
        paths, [](const platform::MacPath& path) { return path.pathExtension() == "app"; });
    if (hasApp)
        event->acceptProposedAction();
    else
        event->ignore();
    if (paths.empty()) {
        if (carriedFiles)
            m_shell.model().setDropNotice(std::string(kNotAnApplication));
        return;
    }
    WindowOperations::run(m_shell.operations().openApps, std::move(paths));
}

void ContentView::setDropTargeted(bool targeted)
{
    if (m_isDropTargeted == targeted)
        return;
    m_isDropTargeted = targeted;
    m_dropOverlay->setGeometry(rect());
    withSpringAnimation(m_dropOverlay, targeted);
    m_dropOverlay->lower();
    m_dropOverlay->raise();
    m_notice->raise();
    m_trashBanner->raise();
    m_result->raise();
}

void ContentView::syncNotice()
{
    const std::optional<std::string>& text = m_shell.model().dropNotice();
    if (text) {
        if (text != m_timedNotice) {
            m_timedNotice = text;
            m_notice->setMessage(
                QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size())));
            m_noticeTimer->start();
        }
    } else {
        m_noticeTimer->stop();
        m_timedNotice.reset();
    }
    m_noticeShown = text.has_value();
    layoutOverlays();
    withSpringAnimation(m_notice, m_noticeShown);
}

void ContentView::syncTrashNotices()
{
    const auto& notices = m_shell.model().trashNotices();
    if (!notices.empty())
        m_trashBanner->setNotice(notices.front(), static_cast<int>(notices.size()) - 1);
    m_trashShown = !notices.empty();
    layoutOverlays();
    withSpringAnimation(m_trashBanner, m_trashShown);
}

void ContentView::syncResultBanner()
{
    const controller::UninstallViewModel& model = m_shell.model();
    if (model.lastOutcome())
        m_result->setOutcome(*model.lastOutcome());
    m_result->setUndoing(model.isUndoing());
    m_result->setUndoAvailable(model.canUndo());
    m_resultShown = model.showResultBanner() && model.lastOutcome().has_value();
    layoutOverlays();
    withSpringAnimation(m_result, m_resultShown);
}

void ContentView::measureCard(QWidget* card)
{
    // A card's texts lie in a nested layout that only a layout request measures again, and a
    // hidden card gets none: a card never shown would measure as empty and come up with no
    // height, a shown one with the height of its previous text, until the next layout.
    if (QLayout* layout = card->layout()) {
        layout->invalidate();
        layout->activate();
    }
}

void ContentView::layoutOverlays()
{
    const int available = std::max(0, width() - 2 * kTopInset);
    // As wide as the card wants within the view, and as high as it needs at that width.
    auto cardSize = [&](CardFrame* card) {
        measureCard(card);
        const QMargins shadow = card->shadowMargins();
        const QSize hint = card->sizeHint();
        const int w = std::min(hint.width(), available + shadow.left() + shadow.right());
        const int h = card->hasHeightForWidth() ? std::max(hint.height(), card->heightForWidth(w))
                                                : hint.height();
        return QSize(w, h);
    };
    auto placeCard = [&](CardFrame* card, int cardTop) {
        const QMargins shadow = card->shadowMargins();
        const QSize size = cardSize(card);
        card->setGeometry((width() - size.width()) / 2, cardTop - shadow.top(), size.width(),
                          size.height());
        return cardTop + size.height() - shadow.top() - shadow.bottom();
    };
    int top = kTopInset;
    if (m_noticeShown)
        top = placeCard(m_notice, top) + kRowSpacing;
    if (m_trashShown)
        placeCard(m_trashBanner, top);
    if (m_resultShown) {
        const QMargins shadow = m_result->shadowMargins();
        const int height = cardSize(m_result).height() - shadow.top() - shadow.bottom();
        placeCard(m_result, this->height() - kBottomInset - height);
    }
    m_dropOverlay->setGeometry(rect());
    m_dropOverlay->raise();
    m_notice->raise();
    m_trashBanner->raise();
    m_result->raise();
}

} // namespace veldo::ui
