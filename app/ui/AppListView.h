// AppListView: the main window's sidebar: the search field, the list of tools and apps whose
// selection is the controller's selectedAppIDs, the empty state over the list, the hint under
// it, and the three toolbar items the view puts into its main window's toolbar once shown
// ("Home", "Sort & Filter", "Reload Applications").
//
// The view keeps one state of its own, the "Show Only Unused Apps" filter; everything else it
// reads from the controller and follows its change signals. A user's change of the list's
// selection is bound (tool rules), written to selectedAppIDs and handed to selectApps; a change
// of selectedAppIDs made elsewhere is shown in the list under a re-sync flag the selection
// handler honours, so nothing is sent back. The selection model's signals are never blocked, so
// the list repaints and reports accessibility for every change. A right-click (or the menu key)
// on an app row shows its context menu and leaves the selection as it was. The view never scans on
// its own: only "Reload Applications" and each change of "Show Apple Apps" call scanApps. GUI
// thread.
#pragma once

#include <functional>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "app/controller/ControllerTypes.h"
#include "app/core/InstalledApp.h"
#include "platform/MacPath.h"

class QLabel;
class QListView;
class QMenu;
class QAction;
class QToolButton;

namespace veldo::platform {
class Clock;
}
namespace veldo::platform::qt {
class AppIconProvider;
} // namespace veldo::platform::qt
namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class AppListModel;
class AppRow;
class BusyIndicator;
class EmptyStateView;
class SearchField;
class SidebarToolRow;

class AppListView final : public QWidget
{
    Q_OBJECT
public:
    // What the view asks of the controller; an empty member calls the controller's own
    // operation (reveal: the controller's reveal service).
    struct Actions
    {
        std::function<void(controller::IdSet)> selectApps;
        std::function<void()> scanApps;
        std::function<void(const std::vector<platform::MacPath>&)> reveal;
    };

    struct Options
    {
        const platform::Clock* clock = nullptr;         // the system clock when none
        platform::qt::AppIconProvider* icons = nullptr; // one of the view's own when none
        Actions actions;
    };

    enum class EmptyState
    {
        none,
        scanning,
        noSearchResults,
        noUnusedApps
    };

    AppListView(controller::UninstallViewModel* model, Options options, QWidget* parent = nullptr);
    explicit AppListView(controller::UninstallViewModel* model, QWidget* parent = nullptr);
    ~AppListView() override;

    // Derived values.
    // The ids of `selection` that are not tool entries.
    static int selectedAppCount(const controller::IdSet& selection);
    // The apps of `apps` that are unused at `now`, order kept.
    static std::vector<core::InstalledApp> unusedApps(const std::vector<core::InstalledApp>& apps,
                                                      core::Date now);
    // "3 selected · ⌘-click for more" with two or more apps selected, else the counted noun.
    static QString appSectionTitle(int listedCount, int selectedAppCount, bool showOnlyUnused);
    // The tool rules of a new selection: a tool just added alone stays; apps added while a tool
    // is selected drop the tool.
    static controller::IdSet boundSelection(controller::IdSet selection,
                                            const controller::IdSet& current);
    // The first case that applies.
    static EmptyState emptyState(bool isScanningApps, bool appsEmpty, bool listedEmpty,
                                 bool searchTextEmpty, bool showOnlyUnused);

    void setShowOnlyUnused(bool on);

protected:
    // Keeps the empty state over the list's viewport.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Puts the toolbar items into the main window's toolbar (the QToolBar named "toolbar"), once.
    void showEvent(QShowEvent* event) override;

private:
    bool showOnlyUnused() const;
    // The context menu of the app at `row` (a new menu the caller owns); none for other rows.
    QMenu* contextMenu(int row);
    void buildToolbarItems();
    void onViewSelectionChanged();
    void resyncSelection();
    void refreshState();
    void placeOverlay();
    controller::IdSet viewSelection() const;

    QPointer<controller::UninstallViewModel> m_model;
    const platform::Clock* m_clock;
    platform::qt::AppIconProvider* m_icons;
    Actions m_actions;

    SearchField* m_search;
    QListView* m_list;
    AppListModel* m_listModel;
    AppRow* m_appRow;
    SidebarToolRow* m_developerRow;
    SidebarToolRow* m_orphanRow;
    QWidget* m_overlay;
    QWidget* m_scanning;
    EmptyStateView* m_searchEmpty = nullptr;
    QString m_searchEmptyText;
    EmptyStateView* m_unusedEmpty;
    QWidget* m_hint;
    QLabel* m_hintText;
    QToolButton* m_home;
    QToolButton* m_sortAndFilter;
    QToolButton* m_reload;
    QAction* m_sortByName;
    QAction* m_sortByLastUsed;
    QAction* m_showOnlyUnusedAction;
    QAction* m_showAppleApps;
    bool m_resyncing = false;
    bool m_toolbarPlaced = false;
};

} // namespace veldo::ui
