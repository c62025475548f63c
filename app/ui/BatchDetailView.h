// BatchDetailView: the detail pane while two or more apps are selected: the header (tile, "N
// Applications Selected", the size and item count of what the included apps remove), the batch
// scan's progress, one BatchAppRow per batch result (or "Nothing to Clean"), and the footer
// ("2 of 3 apps included" and the red remove button, Ctrl+Backspace, "Removing…" while a removal
// runs). The button opens a window-modal confirmation whose "Move to Trash" starts the batch
// removal. While open, the confirmation's title and message follow the controller; it closes as
// Cancel when the included apps or the selection change, so it only ever confirms the apps it
// names. Rows are built in one pass when the batch results change. The texts are pure functions
// (static). Icons come from `icons`, or from a provider of the view's own when null. The
// controller must outlive the view. GUI thread.
#pragma once

#include <cstdint>
#include <vector>

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "app/controller/BatchAppResult.h"
#include "app/controller/ControllerTypes.h"
#include "app/core/CleanupSettings.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace veldo::controller {
class UninstallViewModel;
}
namespace veldo::platform::qt {
class AppIconProvider;
}

namespace veldo::ui {

class BatchAppRow;
class BusyIndicator;

class BatchDetailView : public QWidget
{
    Q_OBJECT
public:
    using Results = std::vector<controller::BatchAppResult>;

    BatchDetailView(controller::UninstallViewModel& model, platform::qt::AppIconProvider* icons,
                    QWidget* parent = nullptr);
    ~BatchDetailView() override;

    // Derived values of the included results.
    static bool allIncludedRemoveAppBundle(const Results& included);
    static std::vector<core::LeftoverItem> includedDefaultItems(const Results& included);
    static int adminItemCount(const Results& included);
    static int runningAppCount(const Results& included);
    static Results homebrewBundleResults(const Results& included);

    // Texts.
    static QString headerTitle(std::int64_t selectedApps);
    static QString itemsSelectedText(std::int64_t items);
    static QString scanningText(std::int64_t selectedApps);
    static QString footer(std::int64_t included, std::int64_t results);
    static QString removeButtonTitle(const Results& included);
    static QString confirmationTitle(const Results& included);
    // The paragraphs that apply, in order; `itemCount` and `bytes` are what the removal-safety
    // filter keeps of the included apps' default selections.
    static QStringList confirmationMessage(const Results& included, std::int64_t itemCount,
                                           std::int64_t bytes, bool quitBeforeRemoving);

private:
    void scheduleRefresh();
    void refresh();
    void rebuildRows();
    void askToRemove();
    void refreshConfirmation();
    std::vector<std::string> includedIds() const;

    controller::UninstallViewModel& m_model;
    platform::qt::AppIconProvider* m_icons;
    core::CleanupSettings::ObserverId m_settingsObserver{};
    bool m_refreshQueued = false;
    Results m_shownResults;

    QLabel* m_title = nullptr;
    QLabel* m_size = nullptr;
    QLabel* m_items = nullptr;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_scanning = nullptr;
    QWidget* m_rowsPage = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    QWidget* m_empty = nullptr;
    QLabel* m_footer = nullptr;
    QPushButton* m_remove = nullptr;
    std::vector<BatchAppRow*> m_rows;

    QPointer<QMessageBox> m_confirmation;
    // What the open confirmation names: the included app ids and the selection at opening.
    std::vector<std::string> m_confirmedIds;
    controller::IdSet m_confirmedSelection;
};

} // namespace veldo::ui
