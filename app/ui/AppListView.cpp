// The sidebar: search, tools and apps, bound to the controller's selection.
#include "app/ui/AppListView.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QResizeEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppListModel.h"
#include "app/ui/AppRow.h"
#include "app/ui/BusyIndicator.h"
#include "app/ui/DeveloperSidebarRow.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/OrphanSidebarRow.h"
#include "app/ui/RowContextMenu.h"
#include "app/ui/SearchField.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "base/CompilerWarnings.h"
#include "platform/Clock.h"
#include "platform/Inflection.h"
#include "platform/qt/AppIconProvider.h"

namespace veldo::ui {

namespace {

QColor secondaryColor(const QWidget* widget)
{
    return SystemColors::color(SystemColor::secondaryLabel,
                               SystemColors::colorScheme(widget->palette()));
}

QToolButton* toolbarButton(const QString& text, std::string_view symbol, const QString& help,
                           QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(help);
    button->setAccessibleName(text);
    button->setIcon(SymbolImage::icon(symbol, secondaryColor(parent), 18));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(true);
    button->hide(); // shown once the main window puts it into its toolbar
    return button;
}

} // namespace

int AppListView::selectedAppCount(const controller::IdSet& selection)
{
    const auto& tools = controller::UninstallViewModel::toolSelectionIDs();
    return static_cast<int>(std::ranges::count_if(
        selection, [&](const std::string& id) { return !tools.contains(id); }));
}

std::vector<core::InstalledApp> AppListView::unusedApps(const std::vector<core::InstalledApp>& apps,
                                                        core::Date now)
{
    std::vector<core::InstalledApp> unused;
    std::ranges::copy_if(apps, std::back_inserter(unused),
                         [&](const core::InstalledApp& app) { return AppRow::isUnused(app, now); });
    return unused;
}

QString AppListView::appSectionTitle(int listedCount, int selectedAppCount, bool showOnlyUnused)
{
    if (selectedAppCount >= 2)
        return QString::number(selectedAppCount) + QStringLiteral(" selected · ⌘-click for more");
    return QString::fromStdString(platform::pluralizedCount(
        listedCount, showOnlyUnused ? "Unused Application" : "Application"));
}

controller::IdSet AppListView::boundSelection(controller::IdSet selection,
                                              const controller::IdSet& current)
{
    const auto& tools = controller::UninstallViewModel::toolSelectionIDs();
    if (selection.size() < 2 ||
        std::ranges::none_of(selection, [&](const std::string& id) { return tools.contains(id); }))
        return selection;
    for (const std::string& id : selection)
        if (!current.contains(id) && tools.contains(id))
            return {id};
    std::erase_if(selection, [&](const std::string& id) { return tools.contains(id); });
    return selection;
}

AppListView::EmptyState AppListView::emptyState(bool isScanningApps, bool appsEmpty,
                                                bool listedEmpty, bool searchTextEmpty,
                                                bool showOnlyUnused)
{
    if (isScanningApps && appsEmpty)
        return EmptyState::scanning;
    if (!listedEmpty)
        return EmptyState::none;
    if (!searchTextEmpty)
        return EmptyState::noSearchResults;
    if (showOnlyUnused && !appsEmpty)
        return EmptyState::noUnusedApps;
    return EmptyState::none;
}

AppListView::AppListView(controller::UninstallViewModel* model, QWidget* parent)
    : AppListView(model, Options{}, parent)
{
}

AppListView::AppListView(controller::UninstallViewModel* model, Options options, QWidget* parent)
    : QWidget(parent), m_model(model),
      m_clock(options.clock ? options.clock : &platform::SystemClock::shared()),
      m_actions(std::move(options.actions))
{
    if (options.icons) {
        m_icons = options.icons;
    } else {
        m_icons = new platform::qt::AppIconProvider(this);
        m_icons->setObjectName(QStringLiteral("iconProvider"));
    }
    if (!m_actions.selectApps)
        m_actions.selectApps = [this](controller::IdSet ids) {
            if (m_model)
                m_model->selectApps(std::move(ids)).detach();
        };
    if (!m_actions.scanApps)
        m_actions.scanApps = [this] {
            if (m_model)
                m_model->scanApps().detach();
        };
    if (!m_actions.reveal)
        m_actions.reveal = [this](const std::vector<platform::MacPath>& items) {
            VELDO_GCC12_IGNORE("-Wnull-dereference")
            if (m_model && m_model->services().reveal)
                m_model->services().reveal(items);
            VELDO_GCC12_IGNORE_END
        };

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_search = new SearchField(QStringLiteral("Search apps"), this);
    m_search->setObjectName(QStringLiteral("searchField"));
    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(10, 10, 10, 6);
    searchRow->addWidget(m_search);
    column->addLayout(searchRow);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("listView"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setMouseTracking(true);
    m_list->setAccessibleName(QStringLiteral("Applications"));
    m_listModel = new AppListModel(model, *m_clock, this);
    m_listModel->setObjectName(QStringLiteral("listModel"));
    m_list->setModel(m_listModel);
    m_appRow = new AppRow(m_icons, this);
    m_developerRow = new DeveloperSidebarRow(this);
    m_orphanRow = new OrphanSidebarRow(this);
    m_list->setItemDelegate(m_appRow);
    m_list->setItemDelegateForRow(AppListModel::kDeveloperRow, m_developerRow);
    m_list->setItemDelegateForRow(AppListModel::kOrphansRow, m_orphanRow);
    column->addWidget(m_list, 1);

    m_overlay = new QWidget(m_list);
    m_overlay->setObjectName(QStringLiteral("emptyStateOverlay"));
    m_overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* overlayColumn = new QVBoxLayout(m_overlay);
    overlayColumn->setAlignment(Qt::AlignCenter);
    m_scanning = new QWidget(m_overlay);
    m_scanning->setObjectName(QStringLiteral("scanningEmptyView"));
    auto* scanningRow = new QHBoxLayout(m_scanning);
    scanningRow->setAlignment(Qt::AlignCenter);
    scanningRow->addWidget(new BusyIndicator(16, m_scanning));
    auto* scanningText = new QLabel(QStringLiteral("Scanning applications…"), m_scanning);
    scanningRow->addWidget(scanningText);
    overlayColumn->addWidget(m_scanning);
    m_unusedEmpty = new EmptyStateView(
        "clock.badge.checkmark", QStringLiteral("No Unused Apps"),
        QStringLiteral("Every app was opened in the last six months."), m_overlay);
    m_unusedEmpty->setObjectName(QStringLiteral("unusedEmptyView"));
    overlayColumn->addWidget(m_unusedEmpty);
    m_overlay->hide();
    m_list->viewport()->installEventFilter(this);

    m_hint = new QWidget(this);
    m_hint->setObjectName(QStringLiteral("hintRow"));
    auto* hintRow = new QHBoxLayout(m_hint);
    hintRow->setContentsMargins(14, 8, 14, 8);
    hintRow->setSpacing(6);
    auto* hintSymbol = new QLabel(m_hint);
    hintSymbol->setPixmap(
        SymbolImage::icon("square.stack.3d.up", secondaryColor(this), 12).pixmap(12, 12));
    m_hintText = new QLabel(QStringLiteral("⌘-click apps to uninstall several at once"), m_hint);
    m_hintText->setObjectName(QStringLiteral("hintLabel"));
    m_hintText->setFont(textFont(TextStyle::caption, font()));
    QPalette hintPalette = m_hintText->palette();
    hintPalette.setColor(QPalette::WindowText, secondaryColor(this));
    m_hintText->setPalette(hintPalette);
    hintRow->addWidget(hintSymbol);
    hintRow->addWidget(m_hintText, 1);
    column->addWidget(m_hint);

    buildToolbarItems();

    connect(m_search, &SearchField::textEditedByUser, this, [this](const QString& text) {
        if (m_model)
            m_model->setSearchText(text.toStdString());
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &AppListView::onViewSelectionChanged);
    connect(m_listModel, &QAbstractItemModel::modelReset, this, [this] {
        resyncSelection();
        refreshState();
    });
    installRowContextMenu(m_list, [this](int row) { return contextMenu(row); });
    connect(m_icons, &platform::qt::AppIconProvider::iconReady, m_listModel,
            &AppListModel::iconChanged);

    using VM = controller::UninstallViewModel;
    for (auto signal : {&VM::appsChanged, &VM::searchTextChanged, &VM::isScanningAppsChanged,
                        &VM::sortOrderChanged, &VM::includeSystemAppsChanged})
        connect(model, signal, this, &AppListView::refreshState);
    connect(model, &VM::selectedAppIDsChanged, this, [this] {
        resyncSelection();
        refreshState();
    });
    resyncSelection();
    refreshState();
}

AppListView::~AppListView() = default;

void AppListView::buildToolbarItems()
{
    m_home = toolbarButton(QStringLiteral("Home"), "house", QStringLiteral("Back to the overview"),
                           this);
    m_home->setObjectName(QStringLiteral("homeButton"));
    connect(m_home, &QToolButton::clicked, this, [this] { m_actions.selectApps({}); });

    m_sortAndFilter =
        toolbarButton(QStringLiteral("Sort & Filter"), "line.3.horizontal.decrease.circle",
                      QStringLiteral("Sort & Filter"), this);
    m_sortAndFilter->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(m_sortAndFilter);
    menu->setToolTipsVisible(true);
    QMenu* sortBy = menu->addMenu(QStringLiteral("Sort By"));
    auto* group = new QActionGroup(sortBy);
    group->setExclusive(true);
    m_sortByName = sortBy->addAction(QStringLiteral("Name"));
    m_sortByName->setObjectName(QStringLiteral("sortByNameAction"));
    m_sortByLastUsed = sortBy->addAction(QStringLiteral("Last Used"));
    m_sortByLastUsed->setObjectName(QStringLiteral("sortByLastUsedAction"));
    for (QAction* action : {m_sortByName, m_sortByLastUsed}) {
        action->setCheckable(true);
        group->addAction(action);
    }
    connect(m_sortByName, &QAction::triggered, this, [this] {
        if (m_model)
            m_model->setSortOrder(controller::SortOrder::name);
    });
    connect(m_sortByLastUsed, &QAction::triggered, this, [this] {
        if (m_model)
            m_model->setSortOrder(controller::SortOrder::lastUsed);
    });
    menu->addSeparator();
    m_showOnlyUnusedAction = menu->addAction(QStringLiteral("Show Only Unused Apps"));
    m_showOnlyUnusedAction->setObjectName(QStringLiteral("showOnlyUnusedAction"));
    m_showOnlyUnusedAction->setCheckable(true);
    connect(m_showOnlyUnusedAction, &QAction::toggled, this, &AppListView::setShowOnlyUnused);
    m_showAppleApps = menu->addAction(QStringLiteral("Show Apple Apps"));
    m_showAppleApps->setObjectName(QStringLiteral("showAppleAppsAction"));
    m_showAppleApps->setCheckable(true);
    m_showAppleApps->setToolTip(QStringLiteral(
        "List the apps that come with macOS. Veldo shows their files but won’t remove them."));
    connect(m_showAppleApps, &QAction::triggered, this, [this](bool on) {
        if (!m_model)
            return;
        m_model->setIncludeSystemApps(on);
        m_actions.scanApps();
    });
    m_sortAndFilter->setMenu(menu);

    m_reload = toolbarButton(QStringLiteral("Reload Applications"), "arrow.clockwise",
                             QStringLiteral("Reload Applications (⇧⌘R)"), this);
    m_reload->setObjectName(QStringLiteral("reloadButton"));
    connect(m_reload, &QToolButton::clicked, this, [this] { m_actions.scanApps(); });
}

bool AppListView::showOnlyUnused() const
{
    return m_listModel->showOnlyUnused();
}

void AppListView::setShowOnlyUnused(bool on)
{
    m_listModel->setShowOnlyUnused(on);
    m_showOnlyUnusedAction->setChecked(on);
    refreshState();
}

controller::IdSet AppListView::viewSelection() const
{
    controller::IdSet ids;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes()) {
        std::string id = m_listModel->idAt(index.row());
        if (!id.empty())
            ids.insert(std::move(id));
    }
    return ids;
}

void AppListView::onViewSelectionChanged()
{
    if (m_resyncing || !m_model)
        return;
    const controller::IdSet chosen = viewSelection();
    controller::IdSet bound = boundSelection(chosen, m_model->selectedAppIDs());
    m_model->setSelectedAppIDs(bound);
    if (bound != chosen)
        resyncSelection();
    m_actions.selectApps(std::move(bound));
}

void AppListView::resyncSelection()
{
    if (!m_model)
        return;
    const controller::IdSet& wanted = m_model->selectedAppIDs();
    controller::IdSet listedWanted;
    QItemSelection selection;
    int first = -1;
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    for (const std::string& id : wanted) {
        const int row = m_listModel->rowOf(id);
        if (row < 0)
            continue;
        listedWanted.insert(id);
        const QModelIndex index = m_listModel->index(row);
        selection.select(index, index);
        if (first < 0 || row < first)
            first = row;
    }
    VELDO_GCC12_IGNORE_END
    if (viewSelection() == listedWanted)
        return;
    m_resyncing = true;
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (first >= 0) {
        m_list->selectionModel()->setCurrentIndex(m_listModel->index(first),
                                                  QItemSelectionModel::NoUpdate);
        m_list->scrollTo(m_listModel->index(first));
    }
    m_resyncing = false;
}

void AppListView::refreshState()
{
    if (!m_model)
        return;
    m_listModel->refresh();
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    const QString search = QString::fromStdString(m_model->searchText());
    VELDO_GCC12_IGNORE_END
    m_search->showText(search);
    const bool appsEmpty = m_model->apps().empty();
    VELDO_GCC12_IGNORE("-Wnull-dereference")
    const EmptyState state =
        emptyState(m_model->isScanningApps(), appsEmpty, m_listModel->listedApps().empty(),
                   m_model->searchText().empty(), showOnlyUnused());
    VELDO_GCC12_IGNORE_END
    m_scanning->setVisible(state == EmptyState::scanning);
    m_unusedEmpty->setVisible(state == EmptyState::noUnusedApps);
    if (state == EmptyState::noSearchResults) {
        if (!m_searchEmpty || m_searchEmptyText != search) {
            delete m_searchEmpty;
            m_searchEmptyText = search;
            m_searchEmpty = new EmptyStateView(
                "magnifyingglass.circle.fill",
                QStringLiteral("No Results for “") + search + QStringLiteral("”"),
                QStringLiteral("Check the spelling or try a new search."), m_overlay);
            m_searchEmpty->setObjectName(QStringLiteral("searchEmptyView"));
            m_overlay->layout()->addWidget(m_searchEmpty);
        }
        m_searchEmpty->show();
    } else if (m_searchEmpty) {
        delete m_searchEmpty;
        m_searchEmpty = nullptr;
    }
    m_overlay->setVisible(state != EmptyState::none);
    placeOverlay();

    m_hint->setVisible(selectedAppCount(m_model->selectedAppIDs()) <= 1 && !appsEmpty);
    m_home->setEnabled(!m_model->selectedAppIDs().empty());
    m_reload->setEnabled(!m_model->isScanningApps());
    m_sortByName->setChecked(m_model->sortOrder() == controller::SortOrder::name);
    m_sortByLastUsed->setChecked(m_model->sortOrder() == controller::SortOrder::lastUsed);
    m_showAppleApps->setChecked(m_model->includeSystemApps());
}

void AppListView::placeOverlay()
{
    m_overlay->setGeometry(m_list->viewport()->geometry());
    m_overlay->raise();
}

void AppListView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_toolbarPlaced)
        return;
    // The main window's toolbar, when the view sits in one.
    auto* toolbar = window()->findChild<QToolBar*>(QStringLiteral("toolbar"));
    if (!toolbar)
        return;
    m_toolbarPlaced = true;
    // A widget added hidden stays hidden until its action is made visible.
    for (QToolButton* button : {m_home, m_sortAndFilter, m_reload})
        toolbar->addWidget(button)->setVisible(true);
}

bool AppListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize)
        placeOverlay();
    return QWidget::eventFilter(watched, event);
}

QMenu* AppListView::contextMenu(int row)
{
    const core::InstalledApp* app = m_listModel->appAt(row);
    if (!app)
        return nullptr;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const platform::MacPath url = app->url;
    connect(menu->addAction(QStringLiteral("Reveal in Finder")), &QAction::triggered, this,
            [this, url] { m_actions.reveal({url}); });
    if (app->bundleID) {
        const QString bundleID = QString::fromStdString(*app->bundleID);
        connect(menu->addAction(QStringLiteral("Copy Bundle Identifier")), &QAction::triggered,
                this, [bundleID] { QGuiApplication::clipboard()->setText(bundleID); });
    }
    const QString path = QString::fromStdString(url.path());
    connect(menu->addAction(QStringLiteral("Copy Path")), &QAction::triggered, this,
            [path] { QGuiApplication::clipboard()->setText(path); });
    return menu;
}

} // namespace veldo::ui
