// AppDetailView: one installed app and everything found for it: the header (icon, name, version,
// bundle identifier, Homebrew badge, the removable total and the item count, "More Actions"),
// the location, protection and running banners, the leftover list (or the scanning or empty
// state), and the bottom bar with "Select All"/"Deselect All", the selection summary and the one
// primary button, which opens the removal review sheet or the Homebrew uninstall sheet.
//
// The screen keeps one state of its own, the sheet shown; everything else it reads
// from the controller and refreshes on the controller's change signals. It starts no scan on its
// own; "Rescan" and "Quit & Rescan" ask the controller. One sheet slot, whose identity is the
// sheet's id ("review", "homebrew:" + token): a new id replaces the sheet shown. Sheets are
// window-modal dialogs owned by the screen, so they close with it (another app taking the pane
// rebuilds the screen). GUI thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QPointer>
#include <QWidget>

#include "app/core/AppProtection.h"
#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "app/leftovers/CaskInfo.h"
#include "app/ui/RowListView.h"
#include "platform/MacPath.h"

class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class QHBoxLayout;

namespace veldo::controller {
class UninstallViewModel;
}
namespace veldo::platform::qt {
class AppIconProvider;
}

namespace veldo::ui {

class LeftoverListModel;
class LeftoverRow;
class StatusBanner;
class TintedPill;

class AppDetailView final : public QWidget
{
    Q_OBJECT
public:
    // What the screen asks of the controller; an empty member calls the controller's own
    // operation.
    struct Actions
    {
        std::function<void()> uninstallApp;
        std::function<void(bool zap)> uninstallCask;
        std::function<void()> exportReport;
        std::function<void()> scanLeftovers;
        std::function<void()> quitAndRescan;
        std::function<void(const core::LeftoverItem&)> toggleLeftover;
        std::function<void(const std::vector<platform::MacPath>&)> reveal;
        // The cask token the primary button goes by (the controller's detailCaskState).
        std::function<std::optional<std::string>()> detailCaskToken;
        // The app-protection check.
        std::function<core::AppProtectionVerdict(const core::InstalledApp&)> protection;
    };

    struct Options
    {
        platform::qt::AppIconProvider* icons = nullptr; // one of the screen's own when none
        Actions actions;
    };

    AppDetailView(controller::UninstallViewModel* model, core::InstalledApp app, Options options,
                  QWidget* parent = nullptr);
    AppDetailView(controller::UninstallViewModel* model, core::InstalledApp app,
                  QWidget* parent = nullptr);
    ~AppDetailView() override;

    // "Version 1.2", or "Version —" for a missing or empty version.
    static QString versionText(const core::InstalledApp& app);
    // The location banner's symbol, title, message and tint colour; none when installed.
    struct BannerText
    {
        std::string symbol;
        QString title;
        QString message;
        bool orange = false;
    };
    static std::optional<BannerText> locationBanner(int location, const std::string& appName);

    const core::InstalledApp& app() const { return m_app; }

private:
    // The sheet over the screen.
    struct DetailSheet
    {
        enum class Kind
        {
            homebrew,
            review
        };
        Kind kind = Kind::review;
        std::optional<leftovers::CaskInfo> cask; // with homebrew

        static DetailSheet review() { return {Kind::review, std::nullopt}; }
        static DetailSheet homebrew(leftovers::CaskInfo cask) { return {Kind::homebrew, cask}; }
        // "homebrew:" + the cask's token, or "review".
        std::string id() const;
    };

    void setActiveSheet(std::optional<DetailSheet> sheet);
    QStringList pillLabels() const;
    // The "More Actions" menu as it is now (a new menu the caller owns).
    QMenu* moreActionsMenu();
    void buildHeader(QVBoxLayout* column);
    void buildContent(QVBoxLayout* column);
    void buildBottomBar(QVBoxLayout* column);
    void refresh();
    void refreshBanners();
    void refreshPills();
    void primaryClicked();
    void selectAllClicked();
    bool isSelectedAppProtected();

    QPointer<controller::UninstallViewModel> m_model;
    core::InstalledApp m_app;
    std::unique_ptr<platform::qt::AppIconProvider> m_ownIcons;
    platform::qt::AppIconProvider* m_icons;
    Actions m_actions;
    std::optional<DetailSheet> m_activeSheet;
    QPointer<QDialog> m_sheet;
    // The protection verdict of the controller's selected app, by its id.
    std::optional<std::pair<std::string, core::AppProtectionVerdict>> m_protectionVerdict;

    QLabel* m_version;
    QLabel* m_bundleID;
    TintedPill* m_caskBadge = nullptr;
    QHBoxLayout* m_badgeRow;
    std::optional<std::string> m_badgeToken;
    QLabel* m_total;
    QLabel* m_itemsFound;
    QToolButton* m_moreActions;
    QVBoxLayout* m_banners;
    StatusBanner* m_location = nullptr;
    int m_locationShown = -1;
    StatusBanner* m_protection = nullptr;
    QWidget* m_running;
    QLabel* m_runningTitle;
    QLabel* m_runningHelpers;
    QPushButton* m_quitAndRescan;
    QStackedWidget* m_content;
    QWidget* m_scanningPage;
    QWidget* m_listPage;
    QWidget* m_emptyPage;
    QHBoxLayout* m_pills;
    QPushButton* m_export;
    RowListView* m_list;
    LeftoverListModel* m_listModel;
    LeftoverRow* m_rowDelegate;
    QPushButton* m_selectAll;
    QLabel* m_summary;
    QPushButton* m_primary;
    bool m_primaryIsHomebrew = false;
};

} // namespace veldo::ui
