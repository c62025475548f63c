// HomebrewUninstallSheet: explains an uninstall through Homebrew, warns that Homebrew deletes
// rather than trashes (and about an installer package's password), offers the zap step when the
// cask has one, and either starts the controller's cask uninstall or hands over to the ordinary
// removal ("Move to Trash Instead…").
//
// No push button is the default: Return confirms nothing, only a click does. The confirm button's
// label and state follow the controller's isRemoving and detail app. Confirming sets the
// submitting guard, calls `dismiss`, then starts the uninstall once with the zap choice; while
// submitting, Esc and the window's close button do nothing. GUI thread.
#pragma once

#include <functional>

#include <QPointer>

#include "app/core/InstalledApp.h"
#include "app/leftovers/CaskInfo.h"
#include "app/ui/SubmittingSheet.h"

class QCheckBox;
class QPushButton;

namespace veldo::controller {
class UninstallViewModel;
}
namespace veldo::platform::qt {
class AppIconProvider;
}

namespace veldo::ui {

class HomebrewUninstallSheet final : public SubmittingSheet
{
    Q_OBJECT
public:
    static constexpr int kWidth = 540;

    struct Actions
    {
        std::function<void()> moveToTrashInstead;
        std::function<void()> dismiss;
        std::function<void(bool zap)> uninstall; // the controller's uninstallCask(zap:)
        std::function<bool(const core::InstalledApp&)> isProtected;
    };

    HomebrewUninstallSheet(controller::UninstallViewModel& model, core::InstalledApp app,
                           leftovers::CaskInfo cask, Actions actions,
                           platform::qt::AppIconProvider* icons, QWidget* parent = nullptr);

private:
    void refresh();
    void confirm();

    QPointer<controller::UninstallViewModel> m_model;
    core::InstalledApp m_app;
    leftovers::CaskInfo m_cask;
    Actions m_actions;
    QCheckBox* m_zap = nullptr;
    QPushButton* m_moveToTrash;
    QPushButton* m_cancel;
    QPushButton* m_confirm;
};

} // namespace veldo::ui
