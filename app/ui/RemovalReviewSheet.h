// RemovalReviewSheet: the last step before the detail app's ticked items go to the Trash: what is
// ticked, its size, the warnings (running app, administrator items, uncertain matches, the app
// bundle, Homebrew's records), "Export Report", "Cancel" and "Move to Trash". The count, the size
// and the item warnings cover the ticked items the removal would move (the controller's
// selectedRemovableLeftovers()); a ticked item the removal-safety policy refuses stays, and its
// row in the list says why.
//
// A live view: every text, warning, count and the confirm button's label and state are computed
// again on each change of the controller properties it reads (leftovers, selectedLeftoverIDs,
// runningStatus, isRemoving, the detail app), so what it shows at the click is what the
// controller removes. Return confirms only while no administrator and no uncertain item is
// ticked. Confirming sets the submitting guard, calls `dismiss`, then starts the removal once;
// while submitting, Esc and the window's close button do nothing. GUI thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>

#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "app/ui/SubmittingSheet.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace veldo::controller {
class UninstallViewModel;
}
namespace veldo::platform::qt {
class AppIconProvider;
}

namespace veldo::ui {

class BusyIndicator;

class RemovalReviewSheet final : public SubmittingSheet
{
    Q_OBJECT
public:
    static constexpr int kWidth = 520;

    struct Actions
    {
        std::function<void()> dismiss;      // closes the sheet
        std::function<void()> uninstall;    // the controller's uninstallApp()
        std::function<void()> exportReport; // the controller's exportReport()
        // Whether the controller's detail app is protected (reads the disk to resolve links).
        std::function<bool(const core::InstalledApp&)> isProtected;
    };

    // The counts the warnings read, of the items given.
    struct Counts
    {
        int adminItemCount = 0;
        int uncertainItemCount = 0;
        bool includesAppBundle = false;
    };
    static Counts countsOf(const std::vector<core::LeftoverItem>& selected);

    RemovalReviewSheet(controller::UninstallViewModel& model, core::InstalledApp app,
                       std::optional<std::string> caskToken, Actions actions,
                       platform::qt::AppIconProvider* icons, QWidget* parent = nullptr);

private:
    void refresh();
    void confirm();
    void addRow(const std::string& symbol, const QString& text, const QColor& tint);

    QPointer<controller::UninstallViewModel> m_model;
    core::InstalledApp m_app;
    std::optional<std::string> m_caskToken;
    Actions m_actions;
    QWidget* m_rowsBox;
    QVBoxLayout* m_rows;
    QPushButton* m_export;
    QPushButton* m_cancel;
    QPushButton* m_confirm;
    BusyIndicator* m_spinner;
};

} // namespace veldo::ui
