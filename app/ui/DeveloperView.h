// DeveloperView: the Developer Footprint screen: the header (icon, titles, the measured total off
// the Packages tab, the export button on it, Rescan), the "Developer view" tab picker bound to the
// controller's tab, each tab's content (scanning placeholder, list or map, empty state; the
// package result card above the Packages list), the action bar of the Disk Usage and Packages
// tabs, and the two confirmation dialogs.
//
// Its own state: the drilled-in map kind and which dialog is open. On every show it asks the
// controller for a toolchain scan if none ran; the first switch to Packages asks for a package
// scan. The dialogs follow the controller while open and close as Cancel when the selection they
// name changes or a scan replaces its list, so a confirmation only ever acts on what its text
// names. The export asks for a folder, writes the snapshot on the controller's tool pool and shows
// its sentence as the window's notice. GUI thread only.
#pragma once

#include <cstddef>
#include <vector>

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "app/controller/ControllerTypes.h"
#include "app/core/DevPackage.h"
#include "app/core/DeveloperTab.h"
#include "app/core/ToolchainItem.h"

class QButtonGroup;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class ActionBar;
class CheckListView;
class DestructiveButton;
class DiskUsageMapSection;
class EmptyStateView;
class PackageListModel;
class PackageResultView;
class PackageRowDelegate;
class SelectedMapKind;
class ToolchainListModel;
class ToolchainRowDelegate;

class DeveloperView final : public QWidget
{
    Q_OBJECT
public:
    explicit DeveloperView(controller::UninstallViewModel* model, QWidget* parent = nullptr);
    ~DeveloperView() override;

    // The package dialog's message: the first five names (" and N more" beyond), the manager
    // paragraph, and the cask sentence when a cask is among them; paragraphs joined by "\n\n".
    static QString packageUninstallMessage(const std::vector<core::DevPackage>& packages);
    // The move dialog's message: the user-data, reinstallable and administrator paragraphs when
    // they apply, then the undo paragraph.
    static QString toolchainTrashMessage(const std::vector<core::ToolchainItem>& items);
    static QString packageUninstallTitle(std::size_t count);
    static QString toolchainTrashTitle(const std::vector<core::ToolchainItem>& items);
    // At least one item, and as many selected ids as items.
    static bool isEverythingSelected(std::size_t itemCount, std::size_t selectedCount);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The move button's action and the uninstall button's action: open their dialog.
    void confirmToolchainTrash();
    void confirmPackageUninstall();
    // The export button's action.
    void exportSnapshot();
    void buildHeader(QVBoxLayout* column);
    void buildPicker(QVBoxLayout* column);
    void buildContent(QVBoxLayout* column);
    void buildBars(QVBoxLayout* column);
    void refresh();
    void refreshResult();
    void tabChanged();
    void handleTabChange(core::DeveloperTab tab);
    void refreshDialogs();
    void closePackageDialog();
    void closeToolchainDialog();

    controller::UninstallViewModel* m_model;
    SelectedMapKind* m_selectedMapKind;
    core::DeveloperTab m_shownTab;

    QWidget* m_totals = nullptr;
    QLabel* m_total = nullptr;
    QToolButton* m_export = nullptr;
    QToolButton* m_rescan = nullptr;
    QWidget* m_picker = nullptr;
    QButtonGroup* m_tabs = nullptr;
    QStackedWidget* m_tabStack = nullptr;
    QStackedWidget* m_footprintStack = nullptr;
    QStackedWidget* m_mapStack = nullptr;
    QStackedWidget* m_packageStack = nullptr;
    QVBoxLayout* m_packagePage = nullptr;
    ToolchainListModel* m_toolchainModel = nullptr;
    ToolchainRowDelegate* m_toolchainDelegate = nullptr;
    CheckListView* m_toolchainList = nullptr;
    PackageListModel* m_packageModel = nullptr;
    PackageRowDelegate* m_packageDelegate = nullptr;
    CheckListView* m_packageList = nullptr;
    DiskUsageMapSection* m_map = nullptr;
    PackageResultView* m_result = nullptr;
    QWidget* m_resultBox = nullptr;
    QWidget* m_barBox = nullptr;
    QStackedWidget* m_bars = nullptr;
    ActionBar* m_toolchainBar = nullptr;
    QPushButton* m_toolchainSelectAll = nullptr;
    QLabel* m_toolchainSelection = nullptr;
    DestructiveButton* m_move = nullptr;
    ActionBar* m_packageBar = nullptr;
    QPushButton* m_packageSelectAll = nullptr;
    QLabel* m_packageSelection = nullptr;
    DestructiveButton* m_uninstall = nullptr;

    QPointer<QMessageBox> m_packageDialog;
    controller::IdSet m_packageDialogSelection;
    QPointer<QMessageBox> m_toolchainDialog;
    controller::IdSet m_toolchainDialogSelection;
};

} // namespace veldo::ui
